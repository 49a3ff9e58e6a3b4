#include "platform/win32/program_folder.h"

#include <windows.h>

#include "platform/win32/win32_error.h"

namespace velkora::win32 {

std::wstring executablePath(std::size_t initialBufferSize) {
    std::wstring path(initialBufferSize > 0 ? initialBufferSize : 1, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            throwLastError();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        // Truncated: the buffer was too small.
        if (path.size() >= 32768 * 2) {
            throwWin32(ERROR_INSUFFICIENT_BUFFER);
        }
        path.resize(path.size() * 2);
    }
}

std::wstring ModuleProgramFolder::programFolder() {
    const std::wstring path = executablePath();
    const std::size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace velkora::win32
