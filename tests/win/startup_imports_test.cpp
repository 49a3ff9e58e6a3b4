#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

std::vector<char> readWholeFile(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(file), {});
}

template <typename T> bool readAt(const std::vector<char>& image, std::size_t offset, T& out) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) {
        return false;
    }
    std::memcpy(&out, image.data() + offset, sizeof(T));
    return true;
}

// The file offset of a relative virtual address, through the section table.
bool fileOffsetOf(const std::vector<char>& image, std::size_t sections, WORD count, DWORD rva,
                  std::size_t& offset) {
    for (WORD i = 0; i < count; ++i) {
        IMAGE_SECTION_HEADER section{};
        if (!readAt(image, sections + i * sizeof(section), section)) {
            return false;
        }
        if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData) {
            offset = rva - section.VirtualAddress + section.PointerToRawData;
            return true;
        }
    }
    return false;
}

// The DLLs a 64-bit PE file imports at load time (delay-loaded ones are not among them),
// lower-cased.
std::vector<std::string> loadTimeImports(const std::vector<char>& image) {
    std::vector<std::string> names;
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    if (!readAt(image, 0, dos) || !readAt(image, static_cast<std::size_t>(dos.e_lfanew), nt)) {
        return names;
    }
    const std::size_t sections = static_cast<std::size_t>(dos.e_lfanew) +
                                 offsetof(IMAGE_NT_HEADERS64, OptionalHeader) +
                                 nt.FileHeader.SizeOfOptionalHeader;
    const WORD count = nt.FileHeader.NumberOfSections;
    const DWORD importsRva =
        nt.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    std::size_t descriptor = 0;
    if (!fileOffsetOf(image, sections, count, importsRva, descriptor)) {
        return names;
    }
    IMAGE_IMPORT_DESCRIPTOR entry{};
    while (readAt(image, descriptor, entry) && entry.Name != 0) {
        std::size_t nameOffset = 0;
        if (!fileOffsetOf(image, sections, count, entry.Name, nameOffset)) {
            break;
        }
        std::string name;
        for (std::size_t i = nameOffset; i < image.size() && image[i] != '\0'; ++i) {
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(image[i])));
        }
        names.push_back(name);
        descriptor += sizeof(entry);
    }
    return names;
}

// A DLL the exe imports is loaded before its first line runs. These are heavy (the shell,
// the image codecs) or not among Windows' known DLLs (comctl32): the program has them
// loaded from the system directory when, and only if, it needs them.
TEST(VelkoraExe, ImportsNoDllThatItLoadsOnlyWhenNeeded) {
    const std::wstring exe = test::testFolder() + L"\\" VELKORA_UI_FOLDER L"/velkora.exe";
    const std::vector<char> image = readWholeFile(exe);
    ASSERT_FALSE(image.empty()) << test::toUtf8(exe);
    const std::vector<std::string> imports = loadTimeImports(image);
    ASSERT_NE(std::find(imports.begin(), imports.end(), "user32.dll"), imports.end())
        << "the import table was not read";
    for (const char* lazy : {"shell32.dll", "shlwapi.dll", "shcore.dll", "comctl32.dll",
                             "windowscodecs.dll", "gdiplus.dll", "ws2_32.dll", "iphlpapi.dll"}) {
        EXPECT_EQ(std::find(imports.begin(), imports.end(), lazy), imports.end()) << lazy;
    }
}

} // namespace
} // namespace velkora::test
