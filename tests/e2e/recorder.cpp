// A harmless stand-in for a program that the tool starts (the browser for the website, the
// system's shutdown command). It records its arguments and does nothing else.
//
// Each run writes one file, <program name>-<process id>.rec, into the folder named by the
// environment variable VELKORA_E2E_RECORDS, holding the arguments as UTF-16 text, and a
// second one, .lang, holding the user interface language it runs in (hex LANGID). Started
// by the desktop's shell (an elevated tool opens the website that way) it does not have
// that environment: then it records into the e2e-records folder next to itself, if any.
#include <windows.h>

#include <string>

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

std::wstring programName() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    const size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
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

std::wstring recordsFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"VELKORA_E2E_RECORDS", folder, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return folder;
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring nextToMe = path;
    nextToMe = nextToMe.substr(0, nextToMe.find_last_of(L"\\/")) + L"\\e2e-records";
    const DWORD attributes = GetFileAttributesW(nextToMe.c_str());
    const bool isFolder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return isFolder ? nextToMe : std::wstring();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring folder = recordsFolder();
    if (folder.empty()) {
        return 0;
    }
    const std::wstring base =
        folder + L"\\" + programName() + L"-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring arguments = argumentsOf(GetCommandLineW());
    wchar_t language[8] = {};
    wsprintfW(language, L"%04X", static_cast<unsigned>(GetUserDefaultUILanguage()));
    if (!writeRecord(base + L".lang", language)) {
        return 1;
    }
    return writeRecord(base + L".rec", arguments) ? 0 : 1;
}
