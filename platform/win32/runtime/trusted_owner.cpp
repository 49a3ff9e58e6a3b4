#include "platform/win32/runtime/trusted_owner.h"

#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

bool isWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return CreateWellKnownSid(type, nullptr, buffer, &size) && EqualSid(sid, buffer);
}

// The token's user (TokenUser) or default owner of new objects (TokenOwner).
bool isOfThisProcess(PSID sid) {
    HANDLE token = nullptr;
    checked(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token), L"OpenProcessToken");
    const UniqueKernelHandle tokenOwner(token);
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
        EqualSid(sid, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid)) {
        return true;
    }
    return GetTokenInformation(token, TokenOwner, buffer, sizeof buffer, &size) &&
           EqualSid(sid, reinterpret_cast<TOKEN_OWNER*>(buffer)->Owner);
}

} // namespace

bool ownedByTrustedAccount(HANDLE object, SE_OBJECT_TYPE type) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetSecurityInfo(object, type, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                         nullptr, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        throwWin32(status, L"GetSecurityInfo");
    }
    const UniqueLocalMemory descriptorOwner(descriptor);
    return owner != nullptr &&
           (isWellKnown(owner, WinLocalSystemSid) ||
            isWellKnown(owner, WinBuiltinAdministratorsSid) || isOfThisProcess(owner));
}

} // namespace velkora::win32
