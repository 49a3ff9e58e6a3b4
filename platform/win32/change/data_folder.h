#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

// How a refusal of the folder or of a file in it is worded.
struct DataFolderUse {
    std::wstring folderNoun;  // "日志文件夹 "
    std::wstring fileNoun;    // "日志文件 "
    std::wstring consequence; // "已跳过日志。"
};

// For writing, the folder is made where missing and given its protected DACL again; reading
// needs neither, so that an account without administrator rights can read what is there.
enum class FolderAccess { Read, Write };

// The Velkora folder of the ProgramData known folder: only SYSTEM and the administrators may
// change it. A link in its place or a folder of another owner is refused; it is held open, so
// that it cannot be swapped, for as long as this lives. Read where it does not exist, held is
// empty.
struct TrustedDataFolder {
    std::wstring path;
    UniqueFile held;
};
TrustedDataFolder openTrustedDataFolder(const DataFolderUse& use, FolderAccess access);

// A folder of the tool's own inside it, made where missing, checked and protected as it is.
TrustedDataFolder openTrustedSubfolder(const TrustedDataFolder& parent, const wchar_t* name,
                                       const DataFolderUse& use);

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file);

// A file of the folder, opened as itself, never through a link (a reparse point, or a hard link
// that would make a write land elsewhere), and only when SYSTEM or the administrators own it:
// a file another account made first is that account's to forge. use words the refusals.
// A file it creates is owned by the administrators, whoever of them creates it.
UniqueFile openTrustedFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                           const DataFolderUse& use);

// A new file of that name, opened without sharing: whatever held the name before is removed
// first, a link included (never what it points to).
UniqueFile createTrustedFile(const std::wstring& path, DWORD access, const DataFolderUse& use);

[[noreturn]] void refuse(DWORD number, const std::wstring& text);

} // namespace velkora::win32
