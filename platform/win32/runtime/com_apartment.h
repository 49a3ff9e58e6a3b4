#pragma once

#include <objbase.h>

#include "platform/non_copyable.h"

namespace velkora::win32 {

// COM for the length of one operation on this thread: CoInitializeEx (apartment-threaded)
// and, when that succeeded (S_OK or S_FALSE), one CoUninitialize. A thread already in the
// multithreaded apartment (RPC_E_CHANGED_MODE) is used as it is and left alone.
class ComApartment : NonCopyable {
public:
    explicit ComApartment(DWORD extraFlags = 0);
    ~ComApartment();

private:
    bool mustUninitialize_ = false;
};

} // namespace velkora::win32
