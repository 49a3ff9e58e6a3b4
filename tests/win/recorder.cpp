// A stand-in for a program that the tool starts: it appends one line about how it was
// started to the file named by VELKORA_RECORD_FILE. Fields, tab-separated, UTF-8:
// command line, current directory, own path, process id, STARTUPINFO flags, show command,
// program folder.
//   --linger  stays alive for a while after recording
//   --end     ends through the program-end service; "survived" would follow if it did not
#include <windows.h>

#include <string>

#include "platform/win32/runtime.h"

namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

std::wstring currentDirectory() {
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

bool append(const std::wstring& file, const std::string& line) {
    HANDLE handle = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(handle);
    return ok && written == line.size();
}

bool hasArgument(const std::wstring& commandLine, const wchar_t* argument) {
    return commandLine.find(argument) != std::wstring::npos;
}

} // namespace

int main() {
    wchar_t file[1024] = {};
    if (GetEnvironmentVariableW(L"VELKORA_RECORD_FILE", file, 1024) == 0) {
        return 2;
    }
    const std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);

    velkora::win32::ModuleProgramFolder folder;
    const std::wstring line =
        commandLine + L"\t" + currentDirectory() + L"\t" + velkora::win32::executablePath() +
        L"\t" + std::to_wstring(GetCurrentProcessId()) + L"\t" + std::to_wstring(startup.dwFlags) +
        L"\t" + std::to_wstring(startup.wShowWindow) + L"\t" + folder.programFolder() + L"\n";
    if (!append(file, utf8(line))) {
        return 3;
    }

    if (hasArgument(commandLine, L"--linger")) {
        Sleep(8000);
    }
    if (hasArgument(commandLine, L"--end")) {
        velkora::win32::ProcessProgramEnd end;
        end.endProgram();
        append(file, "survived\n");
        return 4;
    }
    return 0;
}
