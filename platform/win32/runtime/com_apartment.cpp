#include "platform/win32/runtime/com_apartment.h"

#include "platform/win32/runtime/system_libraries.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// ole32 and oleaut32 are delay-loaded: the first COM call would load them, and a failure
// there could not be reported as an error. Loading them here can; they stay loaded.
void loadComLibraries() {
    for (const wchar_t* name : {L"ole32.dll", L"oleaut32.dll"}) {
        if (GetModuleHandleW(name) == nullptr) {
            loadSystemLibrary(name);
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
    checkHr(hr, L"CoInitializeEx");
    mustUninitialize_ = true;
}

ComApartment::~ComApartment() {
    if (mustUninitialize_) {
        CoUninitialize();
    }
}

} // namespace velkora::win32
