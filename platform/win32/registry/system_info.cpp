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

// Made by the first process of a boot that asks; gone when the system starts again. Only
// SYSTEM and the administrators may create keys under HKLM\SOFTWARE.
constexpr wchar_t bootKey[] = L"SOFTWARE\\VelkoraBoot";
constexpr wchar_t bootValue[] = L"Id";
constexpr wchar_t bootValueText[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VelkoraBoot\\Id";

// When the system started, by this moment's clock: a text no earlier boot has had.
std::wstring newBootId() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const ULONGLONG ticks = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return std::to_wstring(ticks / 10000 - GetTickCount64()) + L"-" +
           std::to_wstring(GetCurrentProcessId());
}

std::optional<std::wstring> readBootId(HKEY key) {
    wchar_t text[64] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    DWORD type = 0;
    const LSTATUS status =
        RegQueryValueExW(key, bootValue, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && type != REG_SZ)) {
        return std::nullopt;
    }
    checkWin32(status, L"RegQueryValueExW", bootValueText);
    return std::wstring(text);
}

} // namespace

std::wstring Win32SystemInfo::bootId() {
    UniqueHkey key;
    checkWin32(RegCreateKeyExW(HKEY_LOCAL_MACHINE, bootKey, 0, nullptr, REG_OPTION_VOLATILE,
                               KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                               key.put(), nullptr),
               L"RegCreateKeyExW", L"HKEY_LOCAL_MACHINE\\SOFTWARE\\VelkoraBoot");
    if (const std::optional<std::wstring> id = readBootId(key.get())) {
        return *id;
    }
    const std::wstring id = newBootId();
    checkWin32(RegSetValueExW(key.get(), bootValue, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(id.c_str()),
                              static_cast<DWORD>((id.size() + 1) * sizeof(wchar_t))),
               L"RegSetValueExW", bootValueText);
    return id;
}

std::vector<std::wstring> Win32SystemInfo::subkeyNames(const std::wstring& keyPath) {
    const RegistryPath path = parseRegistryPath(keyPath + L"\\");
    UniqueHkey key;
    checkWin32(RegOpenKeyExW(path.root, path.subKey().c_str(), 0,
                             KEY_ENUMERATE_SUB_KEYS | KEY_WOW64_64KEY, key.put()),
               L"RegOpenKeyExW", keyPath);
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256]; // the longest key name the registry allows, and its NUL
        DWORD length = 256;
        const LSTATUS status =
            RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            return names;
        }
        checkWin32(status, L"RegEnumKeyExW", keyPath);
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
