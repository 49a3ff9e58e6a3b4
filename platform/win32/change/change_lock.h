#pragma once

#include <windows.h>

#include <string>

#include "platform/change_lock.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

inline constexpr wchar_t portChangeMutexName[] = L"Global\\Velkora.PortChange";
inline constexpr DWORD portChangeWaitMs = 10000;

// The lock as a named mutex shared by every session. A mutex abandoned by a process that
// ended while holding it is taken over: the change set of that process was all or nothing
// only as far as it got, and waiting would not make it any better.
class NamedMutexChangeLock final : public ChangeLock {
public:
    explicit NamedMutexChangeLock(std::wstring name = portChangeMutexName,
                                  DWORD waitMs = portChangeWaitMs)
        : name_(std::move(name)), waitMs_(waitMs) {}

    void acquire() override;
    void release() noexcept override;

private:
    std::wstring name_;
    DWORD waitMs_;
    UniqueKernelHandle mutex_;
};

} // namespace velkora::win32
