#pragma once

#include <windows.h>

#include <string>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

// How a refusal of the folder is worded for the file that was to go in it.
struct DataFolderUse {
    std::wstring folderNoun;  // "日志文件夹 "
    std::wstring consequence; // "已跳过日志。"
};

// The Velkora folder of the ProgramData known folder, made where missing: only SYSTEM and the
// administrators may change it. A link in its place or a folder of another owner is refused;
// it is held open, so that it cannot be swapped, for as long as this lives.
struct TrustedDataFolder {
    std::wstring path;
    UniqueFile held;
};
TrustedDataFolder openTrustedDataFolder(const DataFolderUse& use);

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file);

[[noreturn]] void refuse(DWORD number, const std::wstring& text);

} // namespace velkora::win32
