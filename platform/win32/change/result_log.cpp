#include "platform/win32/change/result_log.h"

#include <windows.h>

#include <shlobj.h>

#include <cstdio>
#include <string>

#include "platform/win32/runtime/runtime.h"
#include "platform/win32/runtime/security_descriptor.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

// FOLDERID_ProgramData, declared here so that no GUID library is linked for it.
constexpr GUID programDataId = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

// Only the administrators and SYSTEM may change the folder; nothing is inherited from
// ProgramData, where every user may create files and folders.
constexpr wchar_t folderAccess[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

[[noreturn]] void refuse(DWORD number, const std::wstring& text) {
    throw PlatformError(static_cast<long>(number), text);
}

// From the known folder, not from the ProgramData variable that every user may set for
// themselves. shell32 is loaded on the first entry of the log only.
std::wstring programDataFolder() {
    using GetKnownFolderPath = HRESULT(WINAPI*)(REFKNOWNFOLDERID, DWORD, HANDLE, PWSTR*);
    using FreeTaskMemory = void(WINAPI*)(void*);
    const auto getPath = reinterpret_cast<GetKnownFolderPath>(reinterpret_cast<void (*)()>(
        systemProcedure(loadSystemLibrary(L"shell32.dll"), "SHGetKnownFolderPath")));
    const auto freeMemory = reinterpret_cast<FreeTaskMemory>(reinterpret_cast<void (*)()>(
        systemProcedure(loadSystemLibrary(L"ole32.dll"), "CoTaskMemFree")));
    PWSTR path = nullptr;
    const HRESULT hr = getPath(programDataId, 0, nullptr, &path);
    const std::wstring folder = SUCCEEDED(hr) ? path : L"";
    freeMemory(path);
    checkHr(hr);
    return folder;
}

void createFolder(const std::wstring& folder) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(folderAccess);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!CreateDirectoryW(folder.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throwLastError();
    }
}

// A folder of ours may still carry what it inherited from ProgramData (made by an earlier
// version, or by an administrator by hand), which lets every user create files in it: it gets
// the protected DACL again before anything is opened in it. By name, while the handle held
// without delete sharing keeps it from being renamed or replaced: a folder of another owner
// may deny the administrators WRITE_DAC, and is to be refused for its owner, not for that.
void protectFolder(std::wstring folder) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(folderAccess);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    checked(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted));
    checkWin32(
        SetNamedSecurityInfoW(folder.data(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, dacl, nullptr));
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    checked(GetFileInformationByHandle(file, &information));
    return information;
}

// The folder itself, never what a junction in its place points to; held open without
// delete sharing while the log is written, so that it cannot be swapped meanwhile.
UniqueFile openTrustedFolder(const std::wstring& folder) {
    UniqueFile handle(CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!handle) {
        throwLastError();
    }
    const DWORD attributes = informationOf(handle.get()).dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refuse(ERROR_CANT_ACCESS_FILE, L"日志文件夹 " + folder + L" 是一个链接，已跳过日志。");
    }
    if (!ownedByTrustedAccount(handle.get(), SE_FILE_OBJECT)) {
        refuse(ERROR_INVALID_OWNER,
               L"日志文件夹 " + folder + L" 的所有者不是 SYSTEM 或管理员组，已跳过日志。");
    }
    protectFolder(folder);
    return handle;
}

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
    const std::wstring folder = programDataFolder() + L"\\Velkora";
    createFolder(folder);
    const UniqueFile heldFolder = openTrustedFolder(folder);
    const UniqueFile file = openLogFile(folder + L"\\velkora-cli.log");
    const std::string bytes = utf8(localTimestamp() + L" " + line + L"\r\n");
    DWORD written = 0;
    checked(
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

} // namespace velkora::win32
