#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace velkora::ui {

// A JPEG decoded in memory into 32-bit pixels (blue, green, red, unused), rows from the
// top: the layout of a top-down 32-bit DIB section.
class JpegImage {
public:
    // Raises PlatformError when the bytes are not one complete JPEG image.
    JpegImage(const void* bytes, std::size_t size);

    int width() const { return width_; }
    int height() const { return height_; }
    const std::uint8_t* pixels() const { return pixels_.get(); }

private:
    struct FreePixels {
        void operator()(std::uint8_t* pixels) const noexcept;
    };
    std::unique_ptr<std::uint8_t, FreePixels> pixels_;
    int width_ = 0;
    int height_ = 0;
};

} // namespace velkora::ui
