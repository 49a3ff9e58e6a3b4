#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/non_copyable.h"
#include "platform/win32/change/change_lock.h"
#include "tests/common/child_process.h"

namespace velkora::test {

std::wstring velkoraExe();        // next to the test program, as are the stand-ins
std::wstring recordsFolder();     // where the stand-ins record their calls
std::wstring screenshotsFolder(); // kept after the run, for people to look at

// The arguments of every recorded call of a stand-in ("browser_standin", "shutdown").
std::vector<std::wstring> recordedCalls(const std::wstring& program);
// The user interface language (hex LANGID) each recorded call ran in, in the same order.
std::vector<std::wstring> recordedLanguages(const std::wstring& program);
void clearRecords();
// Waits until the stand-in has recorded at least `count` calls.
std::vector<std::wstring> waitForRecordedCalls(const std::wstring& program, size_t count,
                                               DWORD timeoutMs);

// The port change lock, held as another administrator's change holds it: taken at once by
// the programs' own lock, so in the same namespace and with the same DACL. Released (by the
// thread that took it) at the latest when it goes.
class HeldPortChangeLock : NonCopyable {
public:
    HeldPortChangeLock();
    ~HeldPortChangeLock();
    void release();

private:
    win32::NamedMutexChangeLock lock_{win32::portChangeLockName, 0};
    bool held_ = false;
};

// Sets an environment variable of this process (inherited by the programs it starts) and
// puts the old value back at the end of the scope.
class ScopedEnvironmentVariable : NonCopyable {
public:
    ScopedEnvironmentVariable(std::wstring name, const std::wstring& value);
    ~ScopedEnvironmentVariable();

private:
    std::wstring name_;
    std::optional<std::wstring> previous_;
};

} // namespace velkora::test
