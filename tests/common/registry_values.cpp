#include "tests/common/registry_values.h"

namespace velkora::test {

const wchar_t* const listenerTdsKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
const wchar_t* const listenerRdpTcpKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
const wchar_t* const standardOpenPortsKey =
    L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
    L"StandardProfile\\GloballyOpenPorts\\List";
const wchar_t* const domainOpenPortsKey =
    L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
    L"DomainProfile\\GloballyOpenPorts\\List";

namespace {

constexpr const wchar_t* desktopKey = L"Control Panel\\Desktop";

std::optional<StoredValue> readFrom(HKEY root, const wchar_t* key, const wchar_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(opened, name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status = RegQueryValueExW(opened, name, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(opened);
    return status == ERROR_SUCCESS ? std::optional<StoredValue>(value) : std::nullopt;
}

void writeTo(HKEY root, const wchar_t* key, const wchar_t* name, const StoredValue& value) {
    HKEY opened = nullptr;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &opened,
                        nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(opened, name, 0, value.type, value.bytes.data(),
                       static_cast<DWORD>(value.bytes.size()));
        RegCloseKey(opened);
    }
}

void deleteFrom(HKEY root, const wchar_t* key, const wchar_t* name) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &opened) == ERROR_SUCCESS) {
        RegDeleteValueW(opened, name);
        RegCloseKey(opened);
    }
}

StoredValue dwordValue(DWORD number) {
    StoredValue value;
    value.type = REG_DWORD;
    value.bytes.resize(sizeof(number));
    memcpy(value.bytes.data(), &number, sizeof(number));
    return value;
}

} // namespace

void setDword(const wchar_t* key, const wchar_t* name, DWORD value) {
    writeTo(HKEY_LOCAL_MACHINE, key, name, dwordValue(value));
}

void deleteValue(const wchar_t* key, const wchar_t* name) {
    deleteFrom(HKEY_LOCAL_MACHINE, key, name);
}

std::optional<StoredValue> readValue(const wchar_t* key, const wchar_t* name) {
    return readFrom(HKEY_LOCAL_MACHINE, key, name);
}

std::optional<DWORD> readDword(const wchar_t* key, const wchar_t* name) {
    const auto value = readValue(key, name);
    if (!value || value->type != REG_DWORD || value->bytes.size() != sizeof(DWORD)) {
        return std::nullopt;
    }
    DWORD number = 0;
    memcpy(&number, value->bytes.data(), sizeof(number));
    return number;
}

std::optional<std::wstring> readString(const wchar_t* key, const wchar_t* name) {
    const auto value = readValue(key, name);
    if (!value || value->type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(value->bytes.size() / sizeof(wchar_t), L'\0');
    memcpy(text.data(), value->bytes.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

std::map<std::wstring, StoredValue> snapshot(const wchar_t* key) {
    std::map<std::wstring, StoredValue> values;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened) !=
        ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384] = {};
        DWORD nameLength = 16384;
        StoredValue value;
        DWORD size = 0;
        if (RegEnumValueW(opened, index, name, &nameLength, nullptr, &value.type, nullptr, &size) !=
            ERROR_SUCCESS) {
            break;
        }
        value.bytes.resize(size);
        nameLength = 16384;
        RegEnumValueW(opened, index, name, &nameLength, nullptr, &value.type, value.bytes.data(),
                      &size);
        values.emplace(std::wstring(name, nameLength), value);
    }
    RegCloseKey(opened);
    return values;
}

void seedListener(const std::vector<std::wstring>& portTextsToForget) {
    setDword(listenerTdsKey, L"PortNumber", 3389);
    setDword(listenerRdpTcpKey, L"PortNumber", 3389);
    for (const std::wstring& port : portTextsToForget) {
        const std::wstring name = port + L":TCP ";
        deleteValue(standardOpenPortsKey, name.c_str());
        deleteValue(domainOpenPortsKey, name.c_str());
    }
}

ToolRegistryState toolRegistryState() {
    return {snapshot(listenerTdsKey), snapshot(listenerRdpTcpKey), snapshot(standardOpenPortsKey),
            snapshot(domainOpenPortsKey)};
}

ScopedLogPixels::ScopedLogPixels(DWORD dpi)
    : previous_(readFrom(HKEY_CURRENT_USER, desktopKey, L"LogPixels")) {
    writeTo(HKEY_CURRENT_USER, desktopKey, L"LogPixels", dwordValue(dpi));
}

ScopedLogPixels::~ScopedLogPixels() {
    if (previous_) {
        writeTo(HKEY_CURRENT_USER, desktopKey, L"LogPixels", *previous_);
    } else {
        deleteFrom(HKEY_CURRENT_USER, desktopKey, L"LogPixels");
    }
}

} // namespace velkora::test
