#include "platform/win32/system_directory.h"

#include <windows.h>

#include "platform/win32/win32_error.h"

namespace velkora::win32 {

std::wstring systemDirectory() {
    std::wstring directory(MAX_PATH, L'\0');
    for (;;) {
        const UINT length =
            GetSystemDirectoryW(directory.data(), static_cast<UINT>(directory.size()));
        if (length == 0) {
            throwLastError();
        }
        if (length < directory.size()) {
            directory.resize(length);
            break;
        }
        directory.resize(length); // the size needed, terminating NUL included
    }
    while (!directory.empty() && directory.back() == L'\\') {
        directory.pop_back();
    }
    return directory;
}

} // namespace velkora::win32
