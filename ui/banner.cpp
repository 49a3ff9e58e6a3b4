#include "ui/banner.h"

#include <cstring>

#include "platform/platform_error.h"
#include "resources/resource_ids.h"
#include "ui/jpeg_image.h"

namespace velkora::ui {

namespace {

struct ResourceBytes {
    const void* bytes;
    DWORD size;
};

ResourceBytes bannerResource(HINSTANCE instance) {
    HRSRC info =
        FindResourceW(instance, MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10) /* RCDATA */);
    HGLOBAL loaded = info != nullptr ? LoadResource(instance, info) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = info != nullptr ? SizeofResource(instance, info) : 0;
    if (bytes == nullptr || size == 0) {
        throw PlatformError(ErrorNumber::ResourceDataNotFound, L"程序的横幅图片资源缺失");
    }
    return {bytes, size};
}

// A top-down 32-bit DIB section holding a copy of the image.
win32::UniqueBitmap dibSectionOf(const JpegImage& image) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width();
    info.bmiHeader.biHeight = -image.height(); // negative: the first row is the top one
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win32::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || bits == nullptr) {
        throw PlatformError(ErrorNumber::NotEnoughMemory, L"内存不足");
    }
    std::memcpy(bits, image.pixels(),
                static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()) *
                    4);
    return bitmap;
}

} // namespace

Banner::Banner(HINSTANCE instance) {
    const ResourceBytes resource = bannerResource(instance);
    decode(resource.bytes, resource.size);
}

Banner::Banner(const void* jpeg, std::size_t size) {
    decode(jpeg, size);
}

void Banner::decode(const void* jpeg, std::size_t size) {
    const JpegImage image(jpeg, size);
    bitmap_ = dibSectionOf(image);
    size_ = {image.width(), image.height()};
}

void Banner::draw(HDC dc, const RECT& target) const {
    const win32::UniqueMemoryDc source(CreateCompatibleDC(dc));
    if (!source) {
        return; // nothing to draw with; the background stays
    }
    const win32::SelectedObject selected(source.get(), bitmap_.get());
    const int width = target.right - target.left;
    const int height = target.bottom - target.top;
    if (width == size_.cx && height == size_.cy) {
        BitBlt(dc, target.left, target.top, width, height, source.get(), 0, 0, SRCCOPY);
    } else {
        const int previousMode = SetStretchBltMode(dc, HALFTONE);
        POINT previousOrigin{};
        SetBrushOrgEx(dc, 0, 0, &previousOrigin); // HALFTONE needs the origin reset
        StretchBlt(dc, target.left, target.top, width, height, source.get(), 0, 0, size_.cx,
                   size_.cy, SRCCOPY);
        SetBrushOrgEx(dc, previousOrigin.x, previousOrigin.y, nullptr);
        SetStretchBltMode(dc, previousMode);
    }
}

} // namespace velkora::ui
