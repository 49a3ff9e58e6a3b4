// A stand-in for a program that the tool starts: it appends one line about how it was
// started to the file named by VELKORA_RECORD_FILE. Fields, tab-separated, UTF-8:
// command line, current directory, own path, process id, STARTUPINFO flags, show command,
// program folder. Started by the desktop's shell (without the test's environment) it
// takes the record file's path from velkora_recorder.target next to itself.
//   --linger  stays alive for a while after recording
//   --end N   ends through the program-end service with exit code N (a digit); "survived"
//             would follow if it did not
#include <windows.h>

#include <string>

#include "platform/win32/program_end.h"
#include "platform/win32/program_folder.h"

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

std::wstring recordFilePath() {
    wchar_t file[1024] = {};
    const DWORD length = GetEnvironmentVariableW(L"VELKORA_RECORD_FILE", file, 1024);
    if (length > 0 && length < 1024) {
        return file;
    }
    const std::wstring target =
        velkora::win32::ModuleProgramFolder().programFolder() + L"\\velkora_recorder.target";
    HANDLE handle = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {};
    }
    DWORD read = 0;
    ReadFile(handle, file, sizeof file - sizeof(wchar_t), &read, nullptr);
    CloseHandle(handle);
    return std::wstring(file, read / sizeof(wchar_t));
}

} // namespace

int main() {
    const std::wstring file = recordFilePath();
    if (file.empty()) {
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
    if (const std::size_t at = commandLine.find(L"--end "); at != std::wstring::npos) {
        velkora::win32::ProcessProgramEnd end;
        end.endProgram(commandLine[at + 6] - L'0');
        append(file, "survived\n");
        return 4;
    }
    return 0;
}
