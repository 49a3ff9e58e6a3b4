#include "platform/win32/services/watcher_program.h"

#include <windows.h>

#include "platform/win32/change/data_folder.h"
#include "platform/win32/runtime/running_program.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

const DataFolderUse watcherUse{L"文件夹 ", L"确认服务的程序 ", L"已拒绝。"};
constexpr wchar_t folderName[] = L"watcher";
constexpr wchar_t programName[] = L"\\velkora-cli.exe";

// The process of a watcher that was just stopped may hold its program a moment longer.
constexpr int tries = 50;
constexpr DWORD betweenTries = 200; // milliseconds

bool inUse(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
}

} // namespace

std::wstring copyProgramForWatcher() {
    std::wstring path = L"%ProgramData%\\Velkora\\watcher";
    try {
        const TrustedDataFolder data = openTrustedDataFolder(watcherUse, FolderAccess::Write);
        const TrustedDataFolder folder = openTrustedSubfolder(data, folderName, watcherUse);
        path = folder.path + programName;
        for (int attempt = 1;; ++attempt) {
            try {
                const UniqueFile copy =
                    createTrustedFile(path, GENERIC_READ | GENERIC_WRITE, watcherUse);
                copyRunningProgramTo(copy.get());
                return path;
            } catch (const PlatformError& failure) {
                if (attempt == tries || !inUse(static_cast<DWORD>(failure.number()))) {
                    throw;
                }
            }
            Sleep(betweenTries);
        }
    } catch (const PlatformError& failure) {
        throw PlatformError(failure.number(),
                            L"无法建立确认服务运行的程序副本 " + path + L"：" +
                                failure.description() + L" 未做任何修改。",
                            false, failure.call());
    }
}

void removeWatcherProgram() noexcept {
    try {
        const TrustedDataFolder data = openTrustedDataFolder(watcherUse, FolderAccess::Read);
        if (!data.held) {
            return;
        }
        const std::wstring path = data.path + L"\\" + folderName + programName;
        for (int attempt = 1; attempt <= tries / 5; ++attempt) {
            if (DeleteFileW(path.c_str()) || !inUse(GetLastError())) {
                return;
            }
            Sleep(betweenTries);
        }
    } catch (...) {
    }
}

} // namespace velkora::win32
