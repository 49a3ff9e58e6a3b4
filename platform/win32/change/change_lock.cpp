#include "platform/win32/change/change_lock.h"

#include "platform/win32/runtime/security_descriptor.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

constexpr wchar_t namespacePrefix[] = L"Velkora";

// Full access for SYSTEM and the administrators, whoever creates it: with the creator's
// default DACL, a lock made by a deployment engine running as SYSTEM could not be opened by
// an administrator, who would be told "access denied" instead of waiting. The namespace has
// the same: without it any account could open a namespace it could not have created.
constexpr wchar_t administratorsOnly[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";

using UniqueBoundary = Unique<HANDLE, &::DeleteBoundaryDescriptor>;

// Under the global name, any user may create the mutex first: one held by a foreign account
// would make every change wait in vain (1618 retried for ever), one whose DACL shuts the
// administrators out would read as "run it elevated", another kind of object as "invalid
// handle".
[[noreturn]] void throwHeldByAnotherAccount() {
    throw PlatformError(ErrorNumber::InvalidOwner,
                        L"端口修改锁被另一个账户（不是 SYSTEM 或管理员组）占用，未做任何修改。");
}

bool isAdministrator() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

bool runningUnderWine() {
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// The boundary of the lock's namespace: the Administrators group, which only a token that has
// it enabled (an elevated administrator, SYSTEM) is within. Empty under Wine (8 at least),
// which has no private namespaces: its CreateBoundaryDescriptorW returns null without an
// error, and AddSIDToBoundaryDescriptor, CreatePrivateNamespaceW and OpenPrivateNamespaceW
// end the process as unimplemented functions. Every Windows the tool runs on has them; there
// a boundary that cannot be made is an error, never a reason to fall back.
UniqueBoundary administratorsBoundary() {
    HANDLE boundary = CreateBoundaryDescriptorW(namespacePrefix, 0);
    if (boundary == nullptr) {
        if (runningUnderWine()) {
            return {};
        }
        const DWORD error = GetLastError();
        throwWin32(error != ERROR_SUCCESS ? error : ErrorNumber::NotEnoughMemory,
                   L"CreateBoundaryDescriptorW", namespacePrefix);
    }
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) ||
        !AddSIDToBoundaryDescriptor(&boundary, administrators)) {
        const DWORD error = GetLastError();
        DeleteBoundaryDescriptor(boundary);
        throwWin32(error, L"AddSIDToBoundaryDescriptor", namespacePrefix);
    }
    return UniqueBoundary(boundary);
}

// Made by the first change, opened by the ones that come while it exists. One that goes
// between the two calls (the last change in it ended) is made again.
HANDLE openNamespace(HANDLE boundary) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(administratorsOnly);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (HANDLE created = CreatePrivateNamespaceW(&attributes, boundary, namespacePrefix)) {
            return created;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            throwLastError(L"CreatePrivateNamespaceW", namespacePrefix);
        }
        if (HANDLE opened = OpenPrivateNamespaceW(boundary, namespacePrefix)) {
            return opened;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            throwWin32(error, L"OpenPrivateNamespaceW", namespacePrefix);
        }
    }
    throwLastError(L"OpenPrivateNamespaceW", namespacePrefix);
}

// In the namespace only SYSTEM and the administrators can have made the mutex; under the
// global name anyone can, and what they made is refused.
HANDLE createMutex(const std::wstring& name, bool underTheGlobalName) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(administratorsOnly);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Our own DACL lets the administrators in: denied to one, the DACL is foreign. A name
        // taken by an event, a semaphore or the like gives "invalid handle".
        if (underTheGlobalName && ((error == ERROR_ACCESS_DENIED && isAdministrator()) ||
                                   error == ERROR_INVALID_HANDLE)) {
            throwHeldByAnotherAccount();
        }
        throwWin32(error, L"CreateMutexW", name);
    }
    UniqueKernelHandle handle(mutex);
    if (underTheGlobalName && error == ERROR_ALREADY_EXISTS &&
        !ownedByTrustedAccount(mutex, SE_KERNEL_OBJECT)) {
        throwHeldByAnotherAccount();
    }
    return handle.release();
}

} // namespace

std::wstring globalMutexName(const std::wstring& name) {
    return L"Global\\Velkora." + name;
}

// Without private namespaces (Wine), the mutex has the global name, and the checks of its
// owner and DACL stand in for the boundary. Wine runs every program as the one Unix user with
// an elevated token, so there is no standard account there to take it first.
ChangeLockMutex::ChangeLockMutex(const std::wstring& name) {
    const UniqueBoundary boundary = administratorsBoundary();
    if (!boundary) {
        mutex_.reset(createMutex(globalMutexName(name), true));
        return;
    }
    namespace_.reset(openNamespace(boundary.get()));
    mutex_.reset(createMutex(std::wstring(namespacePrefix) + L"\\" + name, false));
}

bool NamedMutexChangeLock::acquire() {
    if (!mutex_) {
        mutex_.emplace(name_);
    }
    switch (WaitForSingleObject(mutex_->get(), waitMs_)) {
    case WAIT_OBJECT_0:
        return false;
    case WAIT_ABANDONED:
        takenOver_ = true;
        return true;
    case WAIT_TIMEOUT:
        throw PlatformError(ErrorNumber::AnotherChangeInProgress,
                            L"另一个端口修改正在进行，请稍后再试。");
    default:
        throwLastError(L"WaitForSingleObject", name_);
    }
}

void NamedMutexChangeLock::release() noexcept {
    if (mutex_) {
        ReleaseMutex(mutex_->get());
    }
}

} // namespace velkora::win32
