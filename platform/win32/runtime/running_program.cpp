#include "platform/win32/runtime/running_program.h"

#include <cstring>
#include <optional>
#include <vector>

#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

UniqueFile heldProgram;
std::optional<PlatformError> holdFailure;

std::vector<char> readFromStart(HANDLE file) {
    checked(SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN), L"SetFilePointerEx");
    std::vector<char> bytes;
    char buffer[64 * 1024];
    DWORD got = 0;
    while (checked(ReadFile(file, buffer, sizeof buffer, &got, nullptr), L"ReadFile") && got > 0) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// The system maps the file's headers as they are, but for the base address it loaded the
// image at, which it writes into them.
bool headersAreTheLoadedOnes(const std::vector<char>& file) {
    const auto* loaded = reinterpret_cast<const char*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(loaded);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(loaded + dos->e_lfanew);
    const std::size_t size = nt->OptionalHeader.SizeOfHeaders;
    if (file.size() < size) {
        return false;
    }
    std::vector<char> mapped(loaded, loaded + size);
    std::vector<char> onDisk(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
    const std::size_t imageBase = static_cast<std::size_t>(dos->e_lfanew) +
                                  offsetof(IMAGE_NT_HEADERS, OptionalHeader) +
                                  offsetof(IMAGE_OPTIONAL_HEADER, ImageBase);
    std::memset(mapped.data() + imageBase, 0, sizeof nt->OptionalHeader.ImageBase);
    std::memset(onDisk.data() + imageBase, 0, sizeof nt->OptionalHeader.ImageBase);
    return mapped == onDisk;
}

UniqueFile openRunningProgram() {
    const std::wstring path = executablePath();
    UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throwLastError(L"CreateFileW", path);
    }
    if (!headersAreTheLoadedOnes(readFromStart(file.get()))) {
        throw PlatformError(ErrorNumber::FileInvalid,
                            L"程序文件 " + executablePath() + L" 已不是正在运行的程序。");
    }
    return file;
}

} // namespace

void holdRunningProgram() noexcept {
    if (heldProgram || holdFailure) {
        return;
    }
    try {
        heldProgram = openRunningProgram();
    } catch (const PlatformError& failure) {
        holdFailure = failure;
    } catch (...) {
        holdFailure = PlatformError(ErrorNumber::NotEnoughMemory, L"内存不足");
    }
}

void copyRunningProgramTo(HANDLE target) {
    holdRunningProgram();
    if (holdFailure) {
        throw *holdFailure;
    }
    const std::vector<char> program = readFromStart(heldProgram.get());
    DWORD written = 0;
    checked(
        WriteFile(target, program.data(), static_cast<DWORD>(program.size()), &written, nullptr),
        L"WriteFile");
    checked(FlushFileBuffers(target), L"FlushFileBuffers");
    if (written != program.size() || readFromStart(target) != program) {
        throw PlatformError(ErrorNumber::FileInvalid, L"程序的副本与正在运行的程序不一致。");
    }
}

} // namespace velkora::win32
