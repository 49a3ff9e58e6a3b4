#pragma once

#include <string>

#include "platform/launcher.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

// The program a command line starts: a bare first word ("cmd", "shutdown.exe") is taken
// from the system directory only, never from the program's folder, the current directory
// or PATH. A first word with a folder in it is used as written.
std::wstring programOfCommandLine(const std::wstring& commandLine, const std::wstring& systemDir);

// Starts the command line with CreateProcessW in the system directory and returns the
// process id at once. Window styles are those of the desktop runtime's Shell: 0 hidden,
// 1 normal, 2 minimized, 3 maximized, 4 normal without focus, 6 minimized without focus.
class ProcessLauncher final : public Launcher {
public:
    unsigned long launch(const std::wstring& commandLine, int windowStyle) override;
    void launchAndWait(const std::wstring& commandLine, int windowStyle,
                       std::chrono::milliseconds limit) override;

private:
    // The process started, its handle for the caller to wait on.
    UniqueKernelHandle start(const std::wstring& commandLine, int windowStyle,
                             unsigned long& processId);
};

} // namespace velkora::win32
