#include "platform/win32/change/result_log.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/change/data_folder.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// A hard link would make the append land in a file elsewhere; a reparse point is opened as
// itself, not followed. A file another account made first (before the folder was protected)
// is that account's to forge or erase lines in.
UniqueFile openLogFile(const std::wstring& path) {
    // Appends even while another run has the file open.
    UniqueFile file(CreateFileW(path.c_str(),
                                FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        throwLastError();
    }
    const BY_HANDLE_FILE_INFORMATION information = informationOf(file.get());
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        information.nNumberOfLinks > 1) {
        refuse(ERROR_CANT_ACCESS_FILE, L"日志文件 " + path + L" 是一个链接，已跳过日志。");
    }
    if (!ownedByTrustedAccount(file.get(), SE_FILE_OBJECT)) {
        refuse(ERROR_INVALID_OWNER,
               L"日志文件 " + path + L" 的所有者不是 SYSTEM 或管理员组，已跳过日志。");
    }
    return file;
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
    const TrustedDataFolder folder =
        openTrustedDataFolder({L"日志文件夹 ", L"已跳过日志。"}, FolderAccess::Write);
    const UniqueFile file = openLogFile(folder.path + L"\\velkora-cli.log");
    const std::string bytes = utf8(localTimestamp() + L" " + line + L"\r\n");
    DWORD written = 0;
    checked(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

} // namespace velkora::win32
