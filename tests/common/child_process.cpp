#include "tests/common/child_process.h"

#include <fstream>
#include <sstream>

namespace velkora::test {

std::wstring driverFolder() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::string fileText(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

ChildProcess::ChildProcess(const std::wstring& program, const std::wstring& arguments,
                           STARTUPINFOW* startup, DWORD flags) {
    STARTUPINFOW plain{};
    plain.cb = sizeof plain;
    std::wstring commandLine =
        L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" ") + arguments;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, startup != nullptr,
                       flags, nullptr, driverFolder().c_str(), startup ? startup : &plain, &info)) {
        process_.reset(info.hProcess);
        const win32::UniqueKernelHandle thread(info.hThread);
        id_ = info.dwProcessId;
    }
}

bool ChildProcess::running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool ChildProcess::waitForExit(DWORD timeoutMs) const {
    return process_ && WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD ChildProcess::exitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process_.get(), &code);
    return code;
}

void ChildProcess::end() {
    if (running()) {
        TerminateProcess(process_.get(), 999);
        WaitForSingleObject(process_.get(), 5000);
    }
}

} // namespace velkora::test
