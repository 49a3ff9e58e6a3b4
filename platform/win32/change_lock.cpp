#include "platform/win32/change_lock.h"

#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

constexpr long anotherChangeInProgress = 1618; // ERROR_INSTALL_ALREADY_RUNNING

} // namespace

void NamedMutexChangeLock::acquire() {
    if (!mutex_) {
        mutex_.reset(CreateMutexW(nullptr, FALSE, name_.c_str()));
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
