#include "tests/common/cli_process.h"

#include <algorithm>

#include "tests/common/test_helpers.h"

namespace velkora::test {
namespace {

// A pipe whose write end the child inherits; the read end stays here.
win32::UniqueKernelHandle makePipe(win32::UniqueKernelHandle& readEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win32::UniqueKernelHandle writeEnd;
    CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0);
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);
    return writeEnd;
}

// Takes what is in the pipe now without waiting for more: a helper that Wine starts may
// hold the write end long after the program has ended.
void drain(const win32::UniqueKernelHandle& pipe, std::string& into) {
    DWORD available = 0;
    while (PeekNamedPipe(pipe.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        std::string buffer(available, '\0');
        DWORD read = 0;
        if (!ReadFile(pipe.get(), buffer.data(), available, &read, nullptr) || read == 0) {
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
    const win32::UniqueKernelHandle outWrite = makePipe(outRead_);
    const win32::UniqueKernelHandle errWrite = makePipe(errRead_);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outWrite.get();
    startup.hStdError = errWrite.get();
    started_ = GetTickCount64();
    process_.emplace(program, arguments, &startup, CREATE_NO_WINDOW);
}

CliRun CliProcess::finish(DWORD timeoutMs) {
    CliRun run;
    if (process_ && process_->started()) {
        run.ended = waitUntil(
            [&] {
                drain(outRead_, out_);
                drain(errRead_, err_);
                return !process_->running();
            },
            timeoutMs);
        run.ms = static_cast<DWORD>(GetTickCount64() - started_);
        drain(outRead_, out_);
        drain(errRead_, err_);
        process_->end();
        run.exitCode = process_->exitCode();
    }
    process_.reset();
    outRead_.reset();
    errRead_.reset();
    run.out = out_;
    run.err = err_;
    return run;
}

Json jsonOf(const CliRun& run) {
    EXPECT_TRUE(run.ended) << "killed after its time";
    EXPECT_TRUE(run.out.size() > 2 && run.out.substr(run.out.size() - 2) == "\r\n");
    EXPECT_EQ(run.out.find("\r\n"), run.out.size() - 2) << "more than one line on stdout";
    EXPECT_TRUE(std::all_of(run.out.begin(), run.out.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << "not ASCII: " << run.out;
    return Json::parse(run.out, nullptr, false);
}

Json cliJson(const std::wstring& arguments, DWORD expectedExit, const std::wstring& program) {
    const CliRun run = runCli(arguments + L" --json", program);
    EXPECT_EQ(run.exitCode, expectedExit) << run.err;
    return jsonOf(run);
}

} // namespace velkora::test
