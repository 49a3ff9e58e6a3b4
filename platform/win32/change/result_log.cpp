#include "platform/win32/change/result_log.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/change/data_folder.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

const DataFolderUse logUse{L"日志文件夹 ", L"日志文件 ", L"已跳过日志。"};

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
    const TrustedDataFolder folder = openTrustedDataFolder(logUse, FolderAccess::Write);
    // Appends even while another run has the file open.
    const std::wstring path = folder.path + L"\\velkora-cli.log";
    const UniqueFile file = openTrustedFile(
        path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS, logUse);
    const std::string bytes = utf8(localTimestamp() + L" " + line + L"\r\n");
    DWORD written = 0;
    checked(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr),
        L"WriteFile", path);
}

} // namespace velkora::win32
