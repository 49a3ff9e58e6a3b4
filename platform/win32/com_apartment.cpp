#include "platform/win32/com_apartment.h"

#include "platform/win32/system_directory.h"
#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

HMODULE loadSystemLibrary(const wchar_t* name) {
    constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE module = LoadLibraryExW(name, nullptr, searchSystem32);
    if (module == nullptr) { // Windows 7 without KB2533623 does not know the flag
        module = LoadLibraryExW((systemDirectory() + L"\\" + name).c_str(), nullptr, 0);
    }
    return module;
}

// ole32 and oleaut32 are delay-loaded: the first COM call would load them, and a failure
// there could not be reported as an error. Loading them here can; they stay loaded.
void loadComLibraries() {
    for (const wchar_t* name : {L"ole32.dll", L"oleaut32.dll"}) {
        if (GetModuleHandleW(name) == nullptr && loadSystemLibrary(name) == nullptr) {
            const DWORD error = GetLastError();
            throw PlatformError(static_cast<long>(error), L"无法加载系统组件 " +
                                                              std::wstring(name) + L"：" +
                                                              systemErrorText(error));
        }
    }
}

} // namespace

ComApartment::ComApartment(DWORD extraFlags) {
    loadComLibraries();
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | extraFlags);
    if (hr == RPC_E_CHANGED_MODE) {
        return;
    }
    checkHr(hr);
    mustUninitialize_ = true;
}

ComApartment::~ComApartment() {
    if (mustUninitialize_) {
        CoUninitialize();
    }
}

} // namespace velkora::win32
