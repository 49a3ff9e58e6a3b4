#include "platform/win32/com_apartment.h"

#include "platform/win32/win32_error.h"

namespace velkora::win32 {

ComApartment::ComApartment(DWORD extraFlags) {
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
