#include "platform/win32/registry/system_info.h"

#include <windows.h>

#include "platform/win32/registry/registry_path.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"
#include "platform/win32/session/session_client.h"

namespace velkora::win32 {
namespace {

std::wstring nameOfKind(COMPUTER_NAME_FORMAT kind) {
    DWORD size = 0;
    GetComputerNameExW(kind, nullptr, &size);
    std::wstring name(size, L'\0');
    if (size == 0 || !GetComputerNameExW(kind, name.data(), &size)) {
        return L"";
    }
    name.resize(size);
    return name;
}

} // namespace

std::vector<std::wstring> Win32SystemInfo::subkeyNames(const std::wstring& keyPath) {
    const RegistryPath path = parseRegistryPath(keyPath + L"\\");
    UniqueHkey key;
    checkWin32(RegOpenKeyExW(path.root, path.subKey().c_str(), 0,
                             KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, key.put()));
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256]; // the longest key name the registry allows, and its NUL
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        checkWin32(status);
        names.emplace_back(name, length);
    }
}

std::wstring Win32SystemInfo::computerName() {
    const std::wstring dns = nameOfKind(ComputerNameDnsHostname);
    return dns.empty() ? nameOfKind(ComputerNameNetBIOS) : dns;
}

std::optional<std::wstring> Win32SystemInfo::remoteSessionClientAddress() {
    return win32::remoteSessionClientAddress();
}

bool Win32SystemInfo::inRemoteDesktopSession() {
    return win32::inRemoteDesktopSession();
}

} // namespace velkora::win32
