#pragma once

#include <windows.h>

#include <string>

#include "platform/non_copyable.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::test {

// The folder of this test program; the programs under test are copied next to it.
std::wstring driverFolder();

// The bytes of a file as they are stored; empty when it cannot be read.
std::string fileText(const std::wstring& path);

// A program started as a process of its own, in this test program's folder; ended at the end
// of the scope if it still runs.
class ChildProcess : NonCopyable {
public:
    // Its command line is the quoted program and the arguments. With `startup`, the child
    // inherits the standard handles that it names.
    ChildProcess(const std::wstring& program, const std::wstring& arguments,
                 STARTUPINFOW* startup = nullptr, DWORD flags = 0);
    ~ChildProcess() { end(); }

    DWORD id() const { return id_; }
    HANDLE handle() const { return process_.get(); }
    bool started() const { return static_cast<bool>(process_); }
    bool running() const;
    bool waitForExit(DWORD timeoutMs) const;
    // The exit code once the process has ended; STILL_ACTIVE while it runs.
    DWORD exitCode() const;
    // Ends the process if it still runs, and waits for it to be gone.
    void end();

private:
    win32::UniqueKernelHandle process_;
    DWORD id_ = 0;
};

} // namespace velkora::test
