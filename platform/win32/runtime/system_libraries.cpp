#include "platform/win32/runtime/system_libraries.h"

#include <windows.h>

#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {

HMODULE loadSystemLibrary(const wchar_t* name) {
    return loadLibraryFrom(systemDirectory(), name, librarySearchFlagsKnown());
}

bool librarySearchFlagsKnown() {
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
}

HMODULE loadLibraryFrom(const std::wstring& folder, const wchar_t* name, bool searchFlagsKnown) {
    constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    const std::wstring path = folder + L"\\" + name;
    return checked(
        LoadLibraryExW(path.c_str(), nullptr,
                       searchFlagsKnown ? searchSystem32 : LOAD_WITH_ALTERED_SEARCH_PATH),
        L"LoadLibraryExW", path);
}

FARPROC systemProcedure(HMODULE module, const char* name) {
    const FARPROC procedure = GetProcAddress(module, name);
    if (procedure == nullptr) {
        throwLastError(L"GetProcAddress",
                       std::wstring(name, name + std::char_traits<char>::length(name)));
    }
    return procedure;
}

} // namespace velkora::win32
