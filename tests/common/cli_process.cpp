#include "tests/common/cli_process.h"

#include "tests/common/child_process.h"

namespace velkora::test {
namespace {

// A pipe whose write end the child inherits; the read end stays here.
void makePipe(HANDLE& readEnd, HANDLE& writeEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    CreatePipe(&readEnd, &writeEnd, &inherit, 0);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
}

// Takes what is in the pipe now without waiting for more: a helper that Wine starts may
// hold the write end long after the program has ended.
void drain(HANDLE pipe, std::string& into) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string buffer(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe, buffer.data(), available, &read, nullptr) || read == 0) {
            return;
        }
        into.append(buffer, 0, read);
    }
}

} // namespace

std::wstring velkoraCliExe() {
    return driverFolder() + L"\\velkora-cli.exe";
}

CliProcess::CliProcess(const std::wstring& arguments, const std::wstring& program) {
    HANDLE outWrite = nullptr, errWrite = nullptr;
    makePipe(outRead_, outWrite);
    makePipe(errRead_, errWrite);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    started_ = GetTickCount64();
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, driverFolder().c_str(), &startup, &info_)) {
        info_ = {};
    }
    CloseHandle(outWrite);
    CloseHandle(errWrite);
}

CliProcess::~CliProcess() {
    finish(0);
}

CliRun CliProcess::finish(DWORD timeoutMs) {
    CliRun run;
    if (info_.hProcess != nullptr) {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        do {
            drain(outRead_, out_);
            drain(errRead_, err_);
            run.ended = WaitForSingleObject(info_.hProcess, 20) == WAIT_OBJECT_0;
        } while (!run.ended && GetTickCount64() < deadline);
        run.ms = static_cast<DWORD>(GetTickCount64() - started_);
        drain(outRead_, out_);
        drain(errRead_, err_);
        if (!run.ended) {
            TerminateProcess(info_.hProcess, 999);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        GetExitCodeProcess(info_.hProcess, &run.exitCode);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
        info_ = {};
    }
    if (outRead_ != nullptr) {
        CloseHandle(outRead_);
        CloseHandle(errRead_);
        outRead_ = errRead_ = nullptr;
    }
    run.out = out_;
    run.err = err_;
    return run;
}

} // namespace velkora::test
