#include "platform/win32/change/data_folder.h"

#include <shlobj.h>

#include "platform/win32/runtime/system_libraries.h"
#include "platform/win32/runtime/security_descriptor.h"
#include "platform/win32/runtime/trusted_owner.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {

void refuse(DWORD number, const std::wstring& text) {
    throw PlatformError(static_cast<long>(number), text);
}

BY_HANDLE_FILE_INFORMATION informationOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    checked(GetFileInformationByHandle(file, &information), L"GetFileInformationByHandle");
    return information;
}

namespace {

// What the tool creates is owned by the administrators, whoever of them made it: where policy
// makes an administrator's own account the owner of what they create, the watcher (SYSTEM)
// would otherwise refuse it. The DACL is inherited from the protected folder.
constexpr wchar_t createdFileSecurity[] = L"O:BA";

} // namespace

UniqueFile openTrustedFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                           const DataFolderUse& use) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(createdFileSecurity);
    SECURITY_ATTRIBUTES created{sizeof created, descriptor.get(), FALSE};
    UniqueFile file(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES | READ_CONTROL, share,
                                &created, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        throwLastError(L"CreateFileW", path);
    }
    const BY_HANDLE_FILE_INFORMATION information = informationOf(file.get());
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        information.nNumberOfLinks > 1) {
        refuse(ErrorNumber::CantAccessFile,
               use.fileNoun + path + L" 是一个链接，" + use.consequence);
    }
    if (!ownedByTrustedAccount(file.get(), SE_FILE_OBJECT)) {
        refuse(ErrorNumber::InvalidOwner,
               use.fileNoun + path + L" 的所有者不是 SYSTEM 或管理员组，" + use.consequence);
    }
    return file;
}

// Whatever holds the name goes first (a link planted there is removed, never followed), so
// that nothing is written before the new file has been checked.
UniqueFile createTrustedFile(const std::wstring& path, DWORD access, const DataFolderUse& use) {
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        throwLastError(L"DeleteFileW", path);
    }
    return openTrustedFile(path, access, 0, CREATE_NEW, use);
}

namespace {

// FOLDERID_ProgramData, declared here so that no GUID library is linked for it.
constexpr GUID programDataId = {
    0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};

// Only the administrators and SYSTEM may change the folder; nothing is inherited from
// ProgramData, where every user may create files and folders.
constexpr wchar_t folderAccess[] = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FR;;;BU)";

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
    checkHr(hr, L"SHGetKnownFolderPath", L"FOLDERID_ProgramData");
    return folder;
}

void createFolder(const std::wstring& folder) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(folderAccess);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    if (!CreateDirectoryW(folder.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throwLastError(L"CreateDirectoryW", folder);
    }
}

// A folder of ours may still carry what it inherited from ProgramData (made by an earlier
// version, or by an administrator by hand), which lets every user create files in it: it gets
// the protected DACL again before anything is opened in it, and the administrators as owner
// (one an administrator's own account owns would be refused by the watcher). By name, while the
// handle held without delete sharing keeps it from being renamed or replaced: a folder of another
// owner may deny the administrators WRITE_DAC, and is to be refused for its owner, not for that.
void protectFolder(std::wstring folder) {
    const UniqueLocalMemory descriptor = securityDescriptorFrom(folderAccess);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    checked(GetSecurityDescriptorDacl(descriptor.get(), &present, &dacl, &defaulted),
            L"GetSecurityDescriptorDacl");
    PSID owner = nullptr;
    checked(GetSecurityDescriptorOwner(descriptor.get(), &owner, &defaulted),
            L"GetSecurityDescriptorOwner");
    checkWin32(SetNamedSecurityInfoW(folder.data(), SE_FILE_OBJECT,
                                     OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                         PROTECTED_DACL_SECURITY_INFORMATION,
                                     owner, nullptr, dacl, nullptr),
               L"SetNamedSecurityInfoW", folder);
}

// The folder itself, never what a junction in its place points to; held open without
// delete sharing while the log is written, so that it cannot be swapped meanwhile.
UniqueFile openTrustedFolder(const std::wstring& folder, const DataFolderUse& use,
                             FolderAccess access) {
    UniqueFile handle(CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
    if (!handle) {
        throwLastError(L"CreateFileW", folder);
    }
    const DWORD attributes = informationOf(handle.get()).dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        refuse(ErrorNumber::CantAccessFile,
               use.folderNoun + folder + L" 是一个链接，" + use.consequence);
    }
    if (!ownedByTrustedAccount(handle.get(), SE_FILE_OBJECT)) {
        refuse(ErrorNumber::InvalidOwner,
               use.folderNoun + folder + L" 的所有者不是 SYSTEM 或管理员组，" + use.consequence);
    }
    if (access == FolderAccess::Write) {
        protectFolder(folder);
    }
    return handle;
}

} // namespace

TrustedDataFolder openTrustedSubfolder(const TrustedDataFolder& parent, const wchar_t* name,
                                       const DataFolderUse& use) {
    TrustedDataFolder folder;
    folder.path = parent.path + L"\\" + name;
    createFolder(folder.path);
    folder.held = openTrustedFolder(folder.path, use, FolderAccess::Write);
    return folder;
}

TrustedDataFolder openTrustedDataFolder(const DataFolderUse& use, FolderAccess access) {
    TrustedDataFolder folder;
    folder.path = programDataFolder() + L"\\Velkora";
    if (access == FolderAccess::Write) {
        createFolder(folder.path);
    } else if (GetFileAttributesW(folder.path.c_str()) == INVALID_FILE_ATTRIBUTES &&
               GetLastError() == ERROR_FILE_NOT_FOUND) {
        return folder; // nothing was ever written: nothing to read
    }
    folder.held = openTrustedFolder(folder.path, use, access);
    return folder;
}

} // namespace velkora::win32
