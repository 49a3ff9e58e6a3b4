#include "platform/win32/change/change_journal_file.h"

#include <windows.h>

#include "platform/win32/change/data_folder.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

const DataFolderUse journalUse{L"文件夹 ", L"无法使用待确认修改的记录。"};
constexpr wchar_t journalName[] = L"\\pending-change.json";
constexpr wchar_t draftName[] = L"\\pending-change.json.new";

// Opened as itself, never through a link, and only when an administrator or SYSTEM owns it.
UniqueFile openTrusted(const std::wstring& path, DWORD access, DWORD disposition) {
    UniqueFile file(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES | READ_CONTROL,
                                FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        throwLastError();
    }
    const BY_HANDLE_FILE_INFORMATION information = informationOf(file.get());
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        information.nNumberOfLinks > 1) {
        refuse(ERROR_CANT_ACCESS_FILE, L"待确认修改的记录 " + path + L" 是一个链接，已拒绝。");
    }
    if (!ownedByTrustedAccount(file.get(), SE_FILE_OBJECT)) {
        refuse(ERROR_INVALID_OWNER,
               L"待确认修改的记录 " + path + L" 的所有者不是 SYSTEM 或管理员组，已拒绝。");
    }
    return file;
}

} // namespace

std::optional<std::string> ChangeJournalFile::read() {
    const TrustedDataFolder folder = openTrustedDataFolder(journalUse, FolderAccess::Read);
    const std::wstring path = folder.path + journalName;
    if (!folder.held) {
        return std::nullopt;
    }
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
        return std::nullopt;
    }
    const UniqueFile file = openTrusted(path, GENERIC_READ, OPEN_EXISTING);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (checked(ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) && got > 0) {
        text.append(buffer, got);
        if (text.size() > 1024 * 1024) {
            throwWin32(ERROR_FILE_TOO_LARGE);
        }
    }
    return text;
}

// Written to a draft beside it, flushed to the disk, then renamed over it: a power cut leaves
// either the old text or the new one.
void ChangeJournalFile::write(const std::string& text) {
    const TrustedDataFolder folder = openTrustedDataFolder(journalUse, FolderAccess::Write);
    const std::wstring draft = folder.path + draftName;
    {
        const UniqueFile file = openTrusted(draft, GENERIC_WRITE, CREATE_ALWAYS);
        DWORD written = 0;
        checked(
            WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
        checked(FlushFileBuffers(file.get()));
    }
    checked(MoveFileExW(draft.c_str(), (folder.path + journalName).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

void ChangeJournalFile::remove() {
    const TrustedDataFolder folder = openTrustedDataFolder(journalUse, FolderAccess::Write);
    if (!DeleteFileW((folder.path + journalName).c_str()) &&
        GetLastError() != ERROR_FILE_NOT_FOUND) {
        throwLastError();
    }
}

} // namespace velkora::win32
