#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "platform/change_lock.h"
#include "platform/non_copyable.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

inline constexpr wchar_t portChangeLockName[] = L"PortChange";
inline constexpr DWORD portChangeWaitMs = 10000;

// Where the system has no private namespaces (Wine), the global name the lock's mutex takes
// instead: Global\Velkora.<name>.
std::wstring globalMutexName(const std::wstring& name);

inline void closePrivateNamespace(HANDLE privateNamespace) noexcept {
    ClosePrivateNamespace(privateNamespace, 0); // never destroyed: another change may be in it
}
using UniquePrivateNamespace = Unique<HANDLE, &closePrivateNamespace>;

// The mutex of a change lock, created or opened the one way every change takes it: as
// Velkora\<name> in the private namespace Velkora, whose boundary is the Administrators group.
// Only SYSTEM and the administrators can create that namespace, and only they may open it and
// the mutex, so no other account can make the lock first and hold every change off. The
// namespace is held open as long as the mutex. Raises PlatformError.
class ChangeLockMutex : NonCopyable {
public:
    explicit ChangeLockMutex(const std::wstring& name);
    HANDLE get() const noexcept { return mutex_.get(); }

private:
    UniquePrivateNamespace namespace_;
    UniqueKernelHandle mutex_;
};

// The lock as a mutex shared by every session. A mutex abandoned by a process that ended
// while holding it is taken over: the change set of that process was all or nothing only as
// far as it got, and waiting would not make it any better.
class NamedMutexChangeLock final : public ChangeLock {
public:
    explicit NamedMutexChangeLock(std::wstring name = portChangeLockName,
                                  DWORD waitMs = portChangeWaitMs)
        : name_(std::move(name)), waitMs_(waitMs) {}

    bool acquire() override;
    void release() noexcept override;
    bool takenOver() const override { return takenOver_; }

private:
    std::wstring name_;
    DWORD waitMs_;
    bool takenOver_ = false;
    std::optional<ChangeLockMutex> mutex_;
};

} // namespace velkora::win32
