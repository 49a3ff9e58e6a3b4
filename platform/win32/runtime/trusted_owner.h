#pragma once

#include <windows.h>

#include <aclapi.h>

namespace velkora::win32 {

// Whether the object behind the handle (opened with READ_CONTROL) is owned by SYSTEM, the
// administrators, or this process's own account or default owner: no one a standard user
// could be. Raises PlatformError when the owner cannot be read.
bool ownedByTrustedAccount(HANDLE object, SE_OBJECT_TYPE type);

} // namespace velkora::win32
