#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "platform/win32/runtime/unique_handles.h"
#include "tests/common/child_process.h"

namespace velkora::test {

std::wstring velkoraCliExe();

// What one run of velkora-cli.exe gave: its exit code, the bytes of stdout and stderr (both
// redirected to pipes), and how long it ran.
struct CliRun {
    DWORD exitCode = 0;
    std::string out, err;
    DWORD ms = 0;
    bool ended = false;
};

// velkora-cli.exe started with the given arguments; finish() waits for it (killed if it
// outlives the timeout) and collects what it wrote.
class CliProcess : NonCopyable {
public:
    // program: another copy of velkora-cli.exe to run instead
    explicit CliProcess(const std::wstring& arguments,
                        const std::wstring& program = velkoraCliExe());
    ~CliProcess() { finish(0); }

    CliRun finish(DWORD timeoutMs = 30000);

private:
    win32::UniqueKernelHandle outRead_, errRead_;
    std::optional<ChildProcess> process_;
    std::string out_, err_;
    ULONGLONG started_ = 0;
};

inline CliRun runCli(const std::wstring& arguments, const std::wstring& program = velkoraCliExe()) {
    return CliProcess(arguments, program).finish();
}

using Json = nlohmann::json;

// The one JSON object on stdout, after checking that the run ended by itself and that the
// object, one line of ASCII, is the whole of stdout.
Json jsonOf(const CliRun& run);

// velkora-cli.exe run with the arguments and --json, checked for the exit code expected: the
// JSON object it wrote.
Json cliJson(const std::wstring& arguments, DWORD expectedExit = 0,
             const std::wstring& program = velkoraCliExe());

} // namespace velkora::test
