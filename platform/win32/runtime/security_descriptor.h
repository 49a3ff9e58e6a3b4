#pragma once

#include <windows.h>

#include <sddl.h>

#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {

// The security descriptor an SDDL string describes, freed when it goes. Raises
// PlatformError when the string cannot be converted.
inline UniqueLocalMemory securityDescriptorFrom(const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    checked(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                 nullptr),
            L"ConvertStringSecurityDescriptorToSecurityDescriptorW", sddl);
    return UniqueLocalMemory(descriptor);
}

} // namespace velkora::win32
