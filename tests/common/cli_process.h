#pragma once

#include <windows.h>

#include <string>

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
class CliProcess {
public:
    // program: another copy of velkora-cli.exe to run instead
    explicit CliProcess(const std::wstring& arguments,
                        const std::wstring& program = velkoraCliExe());
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    CliRun finish(DWORD timeoutMs = 30000);

private:
    PROCESS_INFORMATION info_{};
    HANDLE outRead_ = nullptr, errRead_ = nullptr;
    std::string out_, err_;
    ULONGLONG started_ = 0;
};

inline CliRun runCli(const std::wstring& arguments, const std::wstring& program = velkoraCliExe()) {
    return CliProcess(arguments, program).finish();
}

} // namespace velkora::test
