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

std::vector<char> velkoraImage() {
    return readWholeFile(test::testFolder() + L"\\" VELKORA_UI_FOLDER L"/velkora.exe");
}

// A DLL the exe imports is loaded before its first line runs: only these may be, all of
// them Windows' own (static linking leaves nothing that could be planted next to the exe or
// be missing on a server). The rest (the shell, COM, the image codecs, comctl32, which is
// not one of Windows' known DLLs) the program loads from the system directory when, and
// only if, it needs them.
TEST(VelkoraExe, ImportsAtLoadTimeOnlyWindowsDllsItNeedsAtStart) {
    const std::vector<std::string> allowed = {"advapi32.dll", "gdi32.dll",  "imm32.dll",
                                              "kernel32.dll", "msvcrt.dll", "user32.dll"};
    const std::vector<std::string> imports = loadTimeImports(velkoraImage());
    ASSERT_NE(std::find(imports.begin(), imports.end(), "user32.dll"), imports.end())
        << "the import table was not read";
    for (const std::string& name : imports) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), name), allowed.end())
            << name << " is imported at load time";
    }
}

// Built with stack canaries, the exe carries the handler that ends it when one is hit.
TEST(VelkoraExe, CarriesTheStackProtector) {
    const std::vector<char> image = velkoraImage();
    const std::string text = "*** stack smashing detected ***";
    EXPECT_NE(std::search(image.begin(), image.end(), text.begin(), text.end()), image.end());
}

// The command line is a console program (so that cmd and PowerShell wait for it and see its
// exit code) that needs no DLL beyond Windows' own.
TEST(VelkoraCliExe, IsAConsoleProgramImportingOnlyWindowsDlls) {
    const std::wstring exe = test::testFolder() + L"\\" VELKORA_UI_FOLDER L"/velkora-cli.exe";
    const std::vector<char> image = readWholeFile(exe);
    ASSERT_FALSE(image.empty()) << test::toUtf8(exe);
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS64 nt{};
    ASSERT_TRUE(readAt(image, 0, dos) && readAt(image, static_cast<std::size_t>(dos.e_lfanew), nt));
    EXPECT_EQ(nt.OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_CUI);

    // No window, so neither user32 nor gdi32: Windows calls a console program's handler for
    // logoff and shutdown only while it has loaded neither. COM is delay-loaded.
    std::vector<std::string> imports = loadTimeImports(image);
    std::sort(imports.begin(), imports.end());
    EXPECT_EQ(imports, (std::vector<std::string>{"advapi32.dll", "kernel32.dll", "msvcrt.dll"}));
}

} // namespace
} // namespace velkora::test
