#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/platform_error.h"
#include "platform/win32/runtime/unique_handles.h"
#include "resources/resource_ids.h"
#include "tests/win/test_support.h"
#include "ui/banner.h"
#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

// velkora.exe's resources, without running it.
win32::UniqueLibrary velkoraResources() {
    const std::wstring exe = test::testFolder() + L"\\" VELKORA_UI_FOLDER L"/velkora.exe";
    return win32::UniqueLibrary(LoadLibraryExW(
        exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

struct Sample {
    int x;
    int y;
    int red;
    int green;
    int blue;
};

// The dark left end of the band, and the light stripe at the bottom that does not reach the
// top rows: swapped channels or rows upside down both show.
TEST(Banner, DecodesTheResourceToItsSizeWithItsColoursInPlace) {
    const win32::UniqueLibrary exe = velkoraResources();
    ASSERT_TRUE(exe);
    const ui::Banner banner(static_cast<HINSTANCE>(exe.get()));
    ASSERT_EQ(banner.size().cx, 309);
    ASSERT_EQ(banner.size().cy, 66);
    DIBSECTION dib{};
    ASSERT_EQ(GetObjectW(banner.bitmap(), sizeof(dib), &dib), static_cast<int>(sizeof(dib)));
    ASSERT_EQ(dib.dsBm.bmBitsPixel, 32);
    const auto* bits = static_cast<const std::uint8_t*>(dib.dsBm.bmBits);
    for (const Sample& sample : {Sample{4, 4, 11, 43, 92}, Sample{200, 62, 46, 127, 208}}) {
        const std::uint8_t* pixel = bits + (sample.y * 309 + sample.x) * 4; // top-down, BGRx
        EXPECT_LE(std::abs(pixel[2] - sample.red), 4) << sample.x << "," << sample.y;
        EXPECT_LE(std::abs(pixel[1] - sample.green), 4) << sample.x << "," << sample.y;
        EXPECT_LE(std::abs(pixel[0] - sample.blue), 4) << sample.x << "," << sample.y;
    }
}

TEST(Banner, RaisesTheErrorForATruncatedJpeg) {
    const win32::UniqueLibrary exe = velkoraResources();
    ASSERT_TRUE(exe);
    HRSRC info = FindResourceW(exe.get(), MAKEINTRESOURCEW(IDR_BANNER), MAKEINTRESOURCEW(10));
    ASSERT_NE(info, nullptr);
    const void* jpeg = LockResource(LoadResource(exe.get(), info));
    const DWORD size = SizeofResource(exe.get(), info);
    ASSERT_NE(jpeg, nullptr);
    const PlatformError error = thrownBy([&] { ui::Banner banner(jpeg, size / 2); });
    EXPECT_EQ(error.number(), ERROR_INVALID_DATA);
    EXPECT_EQ(test::toUtf8(error.description()), "无法解码程序的横幅图片");
}

} // namespace
} // namespace velkora::test
