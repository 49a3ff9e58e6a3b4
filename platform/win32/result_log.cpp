#include "platform/win32/result_log.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

std::wstring programDataFolder() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        throwWin32(ERROR_ENVVAR_NOT_FOUND);
    }
    return buffer;
}

std::wstring localTimestamp() {
    SYSTEMTIME t;
    GetLocalTime(&t);
    wchar_t text[32];
    swprintf(text, 32, L"%04u-%02u-%02u %02u:%02u:%02u", t.wYear, t.wMonth, t.wDay, t.wHour,
             t.wMinute, t.wSecond);
    return text;
}

std::string utf8(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

} // namespace

void ProgramDataResultLog::append(const std::wstring& line) {
    const std::wstring folder = programDataFolder() + L"\\Velkora";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throwLastError();
    }
    // Appends even while another run has the file open.
    const UniqueFile file(CreateFileW((folder + L"\\velkora-cli.log").c_str(), FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        throwLastError();
    }
    const std::string bytes = utf8(localTimestamp() + L" " + line + L"\r\n");
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
        throwLastError();
    }
}

} // namespace velkora::win32
