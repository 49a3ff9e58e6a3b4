#include "platform/win32/change_lock.h"

#include <sddl.h>

#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

constexpr long anotherChangeInProgress = 1618; // ERROR_INSTALL_ALREADY_RUNNING

// Full access for SYSTEM and the administrators, whoever creates it: with the creator's default
// DACL, a mutex made by a deployment engine running as SYSTEM could not be opened by an
// administrator, who would be told "access denied" instead of waiting.
constexpr wchar_t mutexAccess[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)";

HANDLE createMutex(const std::wstring& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(mutexAccess, SDDL_REVISION_1,
                                                              &descriptor, nullptr)) {
        throwLastError();
    }
    const UniqueLocalMemory descriptorOwner(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return CreateMutexW(&attributes, FALSE, name.c_str());
}

} // namespace

void NamedMutexChangeLock::acquire() {
    if (!mutex_) {
        mutex_.reset(createMutex(name_));
        if (!mutex_) {
            throwLastError();
        }
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
