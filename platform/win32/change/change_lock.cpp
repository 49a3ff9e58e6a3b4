#include "platform/win32/change/change_lock.h"

#include "platform/win32/runtime/security_descriptor.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

constexpr long anotherChangeInProgress = 1618; // ERROR_INSTALL_ALREADY_RUNNING

// Any user may create a global mutex first: one held by a foreign account would make every
// change wait in vain (1618 retried for ever), one whose DACL shuts the administrators out
// would read as "run it elevated".
[[noreturn]] void throwHeldByAnotherAccount() {
    throw PlatformError(ERROR_INVALID_OWNER,
                        L"端口修改锁被另一个账户（不是 SYSTEM 或管理员组）占用，未做任何修改。");
}

bool isAdministrator() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    BOOL member = FALSE;
    return CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size) &&
           CheckTokenMembership(nullptr, administrators, &member) && member;
}

// Full access for SYSTEM and the administrators, whoever creates it: with the creator's default
// DACL, a mutex made by a deployment engine running as SYSTEM could not be opened by an
// administrator, who would be told "access denied" instead of waiting.
constexpr wchar_t mutexAccess[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE createMutex(const std::wstring& name) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(mutexAccess);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Our own DACL lets the administrators in: denied to one, the DACL is foreign.
        if (error == ERROR_ACCESS_DENIED && isAdministrator()) {
            throwHeldByAnotherAccount();
        }
        throwWin32(error);
    }
    UniqueKernelHandle handle(mutex);
    if (error == ERROR_ALREADY_EXISTS && !ownedByTrustedAccount(mutex, SE_KERNEL_OBJECT)) {
        throwHeldByAnotherAccount();
    }
    return handle.release();
}

} // namespace

void NamedMutexChangeLock::acquire() {
    if (!mutex_) {
        mutex_.reset(createMutex(name_));
    }
    switch (WaitForSingleObject(mutex_.get(), waitMs_)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
        return;
    case WAIT_TIMEOUT:
        throw PlatformError(anotherChangeInProgress, L"另一个端口修改正在进行，请稍后再试。");
    default:
        throwLastError();
    }
}

void NamedMutexChangeLock::release() noexcept {
    if (mutex_) {
        ReleaseMutex(mutex_.get());
    }
}

} // namespace velkora::win32
