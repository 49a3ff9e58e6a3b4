// A harmless stand-in for a program that the tool starts (the browser for the website, the
// system's shutdown command, a program a test launches). It records how it was started and
// does nothing else.
//
// Each run writes one file, <program name>-<process id>.rec, into the folder "records" next to
// itself if there is one, otherwise into the folder named by the environment variable
// VELKORA_RECORDS (a copy placed where no such folder is, like the shutdown command in the system
// directory). The folder next to it comes first because a handler that the desktop's shell starts
// (the website, for an elevated tool) gets the desktop's environment, not the test's: it has no
// VELKORA_RECORDS, or a stale one from whichever process started the desktop. One line of
// tab-separated UTF-16 fields: the arguments, the command line, the current directory, its own
// path, the process id, the STARTUPINFO flags, the show command, the program folder and the user
// interface language (hex LANGID).
//   --linger  stays alive for a while after recording
//   --end N   ends through the program-end service with exit code N (a digit); a file
//             "...-survived.rec" says it did not
#include <windows.h>

#include <string>

#include "platform/win32/runtime/process_end.h"
#include "platform/win32/runtime/program_paths.h"

namespace {

std::wstring argumentsOf(const wchar_t* commandLine) {
    const wchar_t* cursor = commandLine;
    if (*cursor == L'"') {
        ++cursor;
        while (*cursor != L'\0' && *cursor != L'"') {
            ++cursor;
        }
        if (*cursor == L'"') {
            ++cursor;
        }
    } else {
        while (*cursor != L'\0' && *cursor != L' ' && *cursor != L'\t') {
            ++cursor;
        }
    }
    while (*cursor == L' ' || *cursor == L'\t') {
        ++cursor;
    }
    return cursor;
}

std::wstring currentDirectory() {
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return directory;
}

std::wstring programName(const std::wstring& path) {
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    return name.substr(0, name.rfind(L'.'));
}

// Written under a temporary name and then renamed, so a reader never sees half a record.
bool writeRecord(const std::wstring& path, const std::wstring& text) {
    const std::wstring temporary = path + L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                              &written, nullptr);
    CloseHandle(file);
    return ok && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring recordsFolder(const std::wstring& ownPath) {
    const std::wstring nextToMe = ownPath.substr(0, ownPath.find_last_of(L"\\/")) + L"\\records";
    const DWORD attributes = GetFileAttributesW(nextToMe.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return nextToMe;
    }
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VELKORA_RECORDS", folder, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(folder) : std::wstring();
}

bool hasArgument(const std::wstring& commandLine, const wchar_t* argument) {
    return commandLine.find(argument) != std::wstring::npos;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring ownPath = velkora::win32::executablePath();
    const std::wstring folder = recordsFolder(ownPath);
    if (folder.empty()) {
        return 2;
    }
    const std::wstring commandLine = GetCommandLineW();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    wchar_t language[8] = {};
    wsprintfW(language, L"%04X", static_cast<unsigned>(GetUserDefaultUILanguage()));

    const std::wstring line =
        argumentsOf(commandLine.c_str()) + L"\t" + commandLine + L"\t" + currentDirectory() +
        L"\t" + ownPath + L"\t" + std::to_wstring(GetCurrentProcessId()) + L"\t" +
        std::to_wstring(startup.dwFlags) + L"\t" + std::to_wstring(startup.wShowWindow) + L"\t" +
        velkora::win32::ModuleProgramFolder().programFolder() + L"\t" + language + L"\n";
    const std::wstring base =
        folder + L"\\" + programName(ownPath) + L"-" + std::to_wstring(GetCurrentProcessId());
    if (!writeRecord(base + L".rec", line)) {
        return 3;
    }

    if (hasArgument(commandLine, L"--linger")) {
        Sleep(8000);
    }
    if (const std::size_t at = commandLine.find(L"--end "); at != std::wstring::npos) {
        velkora::win32::ProcessProgramEnd().endProgram(commandLine[at + 6] - L'0');
        writeRecord(base + L"-survived.rec", L"survived\n");
        return 4;
    }
    return 0;
}
