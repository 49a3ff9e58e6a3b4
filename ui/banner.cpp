#include "ui/banner.h"

#include <cstring>

#include "platform/platform_error.h"
#include "resources/resource_ids.h"

namespace velkora::ui {

namespace {

[[noreturn]] void fail(long number, const wchar_t* what) {
    throw PlatformError(number, what);
}

// A stream over a private copy of the resource bytes; the stream frees the copy.
win32::ComPtr<IStream> streamOverResource(HINSTANCE instance, int id) {
    HRSRC info = FindResourceW(instance, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RCDATA */);
    HGLOBAL loaded = info != nullptr ? LoadResource(instance, info) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = info != nullptr ? SizeofResource(instance, info) : 0;
    if (bytes == nullptr || size == 0) {
        fail(ERROR_RESOURCE_DATA_NOT_FOUND, L"程序的横幅图片资源缺失");
    }

    win32::UniqueGlobalMemory copy(GlobalAlloc(GMEM_MOVEABLE, size));
    void* target = copy ? GlobalLock(copy.get()) : nullptr;
    if (target == nullptr) {
        fail(ERROR_NOT_ENOUGH_MEMORY, L"内存不足");
    }
    std::memcpy(target, bytes, size);
    GlobalUnlock(copy.get());

    win32::ComPtr<IStream> stream;
    const HRESULT hr = CreateStreamOnHGlobal(copy.get(), TRUE, stream.put());
    if (FAILED(hr)) {
        fail(hr, L"无法读取程序的横幅图片");
    }
    copy.release(); // the stream owns the memory now
    return stream;
}

} // namespace

Banner::Banner(HINSTANCE instance) {
    win32::ComPtr<IStream> stream = streamOverResource(instance, IDR_BANNER);
    const HRESULT hr = OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture,
                                      reinterpret_cast<void**>(picture_.put()));
    if (FAILED(hr) || !picture_) {
        fail(hr, L"无法解码程序的横幅图片");
    }
}

void Banner::draw(HDC dc, const RECT& target) const {
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture_->get_Width(&width);
    picture_->get_Height(&height);
    // HIMETRIC runs bottom-up: start at the picture's bottom and go up its full height.
    picture_->Render(dc, target.left, target.top, target.right - target.left,
                     target.bottom - target.top, 0, height, width, -height, nullptr);
}

} // namespace velkora::ui
