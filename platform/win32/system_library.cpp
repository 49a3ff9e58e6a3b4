#include "platform/win32/system_library.h"

#include <string>

#include "platform/win32/system_directory.h"
#include "platform/win32/win32_error.h"

namespace velkora::win32 {

HMODULE loadSystemLibrary(const wchar_t* name) {
    constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE module = LoadLibraryExW(name, nullptr, searchSystem32);
    if (module == nullptr) { // Windows 7 without KB2533623 does not know the flag
        module = LoadLibraryExW((systemDirectory() + L"\\" + name).c_str(), nullptr, 0);
    }
    if (module == nullptr) {
        throwLastError();
    }
    return module;
}

FARPROC systemProcedure(HMODULE module, const char* name) {
    const FARPROC address = GetProcAddress(module, name);
    if (address == nullptr) {
        throwLastError();
    }
    return address;
}

} // namespace velkora::win32
