#include "platform/win32/change/change_journal_file.h"

#include <windows.h>

#include "platform/win32/change/data_folder.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

const DataFolderUse journalUse{L"文件夹 ", L"待确认修改的记录 ", L"已拒绝。"};
constexpr wchar_t journalName[] = L"\\pending-change.json";
constexpr wchar_t draftName[] = L"\\pending-change.json.new";

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
    const UniqueFile file =
        openTrustedFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, journalUse);
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (checked(ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr), L"ReadFile", path) &&
           got > 0) {
        text.append(buffer, got);
        if (text.size() > 1024 * 1024) {
            throwWin32(ErrorNumber::FileTooLarge);
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
        const UniqueFile file = createTrustedFile(draft, GENERIC_WRITE, journalUse);
        DWORD written = 0;
        checked(
            WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr),
            L"WriteFile", draft);
        checked(FlushFileBuffers(file.get()), L"FlushFileBuffers", draft);
    }
    checked(MoveFileExW(draft.c_str(), (folder.path + journalName).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH),
            L"MoveFileExW", draft);
}

void ChangeJournalFile::remove() {
    const TrustedDataFolder folder = openTrustedDataFolder(journalUse, FolderAccess::Write);
    const std::wstring path = folder.path + journalName;
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        throwLastError(L"DeleteFileW", path);
    }
}

} // namespace velkora::win32
