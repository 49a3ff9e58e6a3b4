#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/clock.h"
#include "platform/error_report.h"
#include "platform/message_box.h"
#include "platform/program_end.h"
#include "platform/program_folder.h"

namespace velkora::win32 {

// The small services of the process itself: the clock, the program's folder, its end, the
// report of an error no handler traps.

// The local date; GetTickCount64 and Sleep for waiting; the system time for deadlines.
class SystemClock final : public Clock {
public:
    Date today() override;
    std::chrono::milliseconds now() override;
    void sleepFor(std::chrono::milliseconds duration) override;
    std::int64_t utcSeconds() override;
};

class ModuleProgramFolder final : public ProgramFolder {
public:
    std::wstring programFolder() override;
};

// Ends the process at once; no window or destructor gets another word.
class ProcessProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram(int exitCode) override;
};

// "运行时错误 'N':", an empty line, then the description, lines joined by CR LF. A
// negative number is an HRESULT and shows as 0x followed by eight hex digits.
std::wstring errorReportText(long number, const std::wstring& description);

// Shows the text in a box with the application title, the OK button and the critical
// icon, then ends the program with ExitCode::AfterError.
class MessageBoxErrorReport final : public ErrorReport {
public:
    MessageBoxErrorReport(MessageBoxService& messages, ProgramEnd& end)
        : messages_(messages), end_(end) {}
    void report(const PlatformError& error) override;

private:
    MessageBoxService& messages_;
    ProgramEnd& end_;
};

// The path of this process's executable, however long: the buffer, of initialBufferSize
// characters at first, grows until the path fits.
std::wstring executablePath(std::size_t initialBufferSize = 260);

// The system directory (for example C:\Windows\System32), without a trailing backslash.
std::wstring systemDirectory();

// Loads a DLL of Windows from the system directory only, never from the program's folder,
// and keeps it loaded for the rest of the process. Raises PlatformError when it cannot.
HMODULE loadSystemLibrary(const wchar_t* name);

// Whether LoadLibraryExW knows the LOAD_LIBRARY_SEARCH_* flags (Windows 8 and later, Windows 7
// with KB2533623): recognised, as Microsoft documents, by kernel32 exporting AddDllDirectory.
bool librarySearchFlagsKnown();

// Loads the DLL `name` from `folder` by its full path. What it imports in turn is searched in
// the system directory alone where the system knows the search flags, else in `folder` first
// (LOAD_WITH_ALTERED_SEARCH_PATH); never in the program's folder first, as a load without flags
// would. loadSystemLibrary is this for the system directory and the system's own answer.
HMODULE loadLibraryFrom(const std::wstring& folder, const wchar_t* name, bool searchFlagsKnown);

// The address of a function of that DLL; raises PlatformError when the DLL lacks it.
FARPROC systemProcedure(HMODULE module, const char* name);

} // namespace velkora::win32
