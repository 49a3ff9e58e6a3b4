#include "ui/jpeg_image.h"

#include <windows.h>

#include <climits>
#include <utility>

#include "platform/platform_error.h"

// The decoder: JPEG only, from memory only, no float or HDR paths.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_FAILURE_STRINGS
#include <stb_image.h> // a system include: its warnings are not ours

namespace velkora::ui {

void JpegImage::FreePixels::operator()(std::uint8_t* pixels) const noexcept {
    stbi_image_free(pixels);
}

JpegImage::JpegImage(const void* bytes, std::size_t size) {
    if (size > static_cast<std::size_t>(INT_MAX)) {
        throw PlatformError(ErrorNumber::InvalidData, L"无法解码程序的横幅图片");
    }
    int components = 0;
    pixels_.reset(stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size),
                                        &width_, &height_, &components, 4));
    if (!pixels_) {
        throw PlatformError(ErrorNumber::InvalidData, L"无法解码程序的横幅图片");
    }
    // The decoder gives red, green, blue, alpha; a DIB wants blue, green, red, unused.
    std::uint8_t* pixel = pixels_.get();
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    for (std::size_t i = 0; i < count; ++i, pixel += 4) {
        std::swap(pixel[0], pixel[2]);
        pixel[3] = 0;
    }
}

} // namespace velkora::ui
