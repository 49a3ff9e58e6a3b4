#include "tests/common/registry_values.h"

#include <gtest/gtest.h>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::test {

StoredValue dwordValue(DWORD number) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&number);
    return {REG_DWORD, {bytes, bytes + sizeof number}};
}

StoredValue stringValue(const std::wstring& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
    return {REG_SZ, {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)}};
}

void writeValue(const wchar_t* key, const wchar_t* name, const StoredValue& value, HKEY root) {
    win32::UniqueHkey opened;
    if (RegCreateKeyExW(root, key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr,
                        opened.put(), nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(opened.get(), name, 0, value.type, value.bytes.data(),
                       static_cast<DWORD>(value.bytes.size()));
    }
}

void setDword(const wchar_t* key, const wchar_t* name, DWORD value) {
    writeValue(key, name, dwordValue(value));
}

void deleteValue(const wchar_t* key, const wchar_t* name, HKEY root) {
    win32::UniqueHkey opened;
    if (RegOpenKeyExW(root, key, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, opened.put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(opened.get(), name);
    }
}

std::optional<StoredValue> readValue(const wchar_t* key, const wchar_t* name, HKEY root) {
    win32::UniqueHkey opened;
    if (RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, opened.put()) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(opened.get(), name, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.bytes.resize(size);
        status =
            RegQueryValueExW(opened.get(), name, nullptr, &value.type, value.bytes.data(), &size);
        value.bytes.resize(size);
    }
    return status == ERROR_SUCCESS ? std::optional<StoredValue>(value) : std::nullopt;
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
    win32::UniqueHkey opened;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      opened.put()) != ERROR_SUCCESS) {
        return values;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384] = {};
        DWORD nameLength = 16384;
        StoredValue value;
        DWORD size = 0;
        if (RegEnumValueW(opened.get(), index, name, &nameLength, nullptr, &value.type, nullptr,
                          &size) != ERROR_SUCCESS) {
            break;
        }
        value.bytes.resize(size);
        nameLength = 16384;
        RegEnumValueW(opened.get(), index, name, &nameLength, nullptr, &value.type,
                      value.bytes.data(), &size);
        values.emplace(std::wstring(name, nameLength), value);
    }
    return values;
}

void setListenerPort(DWORD port) {
    setDword(listenerTdsKey, L"PortNumber", port);
    setDword(listenerRdpTcpKey, L"PortNumber", port);
}

void seedListener(const std::vector<std::wstring>& portTextsToForget) {
    setListenerPort(3389);
    for (const std::wstring& port : portTextsToForget) {
        const std::wstring name = port + L":TCP ";
        deleteValue(standardOpenPortsKey, name.c_str());
        deleteValue(domainOpenPortsKey, name.c_str());
    }
}

void expectListenerAt(DWORD port) {
    EXPECT_EQ(readDword(listenerTdsKey, L"PortNumber"), port);
    EXPECT_EQ(readDword(listenerRdpTcpKey, L"PortNumber"), port);
}

void expectOpenPortEntries(const std::wstring& port) {
    const std::wstring name = port + L":TCP ";
    const std::wstring record = port + L":TCP:*:Enabled:" + port;
    EXPECT_TRUE(readString(standardOpenPortsKey, name.c_str()) == record)
        << "standard profile entry missing or wrong";
    EXPECT_TRUE(readString(domainOpenPortsKey, name.c_str()) == record)
        << "domain profile entry missing or wrong";
}

ToolRegistryState toolRegistryState() {
    return {snapshot(listenerTdsKey), snapshot(listenerRdpTcpKey), snapshot(standardOpenPortsKey),
            snapshot(domainOpenPortsKey)};
}

ScopedValue::ScopedValue(HKEY root, const wchar_t* key, const wchar_t* name,
                         const StoredValue& value)
    : root_(root), key_(key), name_(name), previous_(readValue(key, name, root)) {
    writeValue(key, name, value, root);
}

ScopedValue::~ScopedValue() {
    if (previous_) {
        writeValue(key_, name_, *previous_, root_);
    } else {
        deleteValue(key_, name_, root_);
    }
}

} // namespace velkora::test
