#pragma once

#include <windows.h>
#include <netfw.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

// Where the test firewall keeps its rules, in the test prefix's registry (HKLM): one subkey of
// `Rules` per rule, named by a counter so that the order of adding is the order of the names,
// with a value per property (texts as REG_SZ, numbers as REG_DWORD, under the property's name).
namespace velkora::test::kept_firewall {

constexpr DWORD anyProtocol = 256; // NET_FW_IP_PROTOCOL_ANY, which the headers here lack

inline const wchar_t* const storeKey = L"SOFTWARE\\VelkoraTest\\KeptFirewall";
inline const wchar_t* const rulesKey = L"SOFTWARE\\VelkoraTest\\KeptFirewall\\Rules";
inline const wchar_t* const nextRuleValue = L"NextRule";
// A DWORD N: N more calls of the firewall's interfaces succeed, the next one fails with
// E_ACCESSDENIED and the value is removed.
inline const wchar_t* const denyAfterCallsValue = L"DenyAfterCalls";

class RegistryKey {
public:
    explicit RegistryKey(const std::wstring& path, bool create = false) {
        status_ = create
                      ? RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key_, nullptr)
                      : RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key_);
    }
    ~RegistryKey() {
        if (status_ == ERROR_SUCCESS) {
            RegCloseKey(key_);
        }
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool open() const { return status_ == ERROR_SUCCESS; }
    LSTATUS status() const { return status_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_ = ERROR_SUCCESS;
};

// A rule's properties by name, as the store keeps them; a new rule's defaults are the
// documented ones (any protocol, inbound, allow, every profile, any address, disabled).
struct RuleFields {
    std::map<std::wstring, std::wstring> texts{{L"Name", L""},
                                               {L"Description", L""},
                                               {L"ApplicationName", L""},
                                               {L"ServiceName", L""},
                                               {L"LocalPorts", L""},
                                               {L"RemotePorts", L""},
                                               {L"LocalAddresses", L"*"},
                                               {L"RemoteAddresses", L"*"},
                                               {L"IcmpTypesAndCodes", L""},
                                               {L"InterfaceTypes", L"All"},
                                               {L"Grouping", L""}};
    std::map<std::wstring, DWORD> numbers{{L"Protocol", anyProtocol},
                                          {L"Direction", NET_FW_RULE_DIR_IN},
                                          {L"Action", NET_FW_ACTION_ALLOW},
                                          {L"Profiles", static_cast<DWORD>(NET_FW_PROFILE2_ALL)},
                                          {L"Enabled", 0u},
                                          {L"EdgeTraversal", 0u}};

    bool operator==(const RuleFields&) const = default;
};

inline std::wstring ruleKeyPath(const std::wstring& id) {
    return std::wstring(rulesKey) + L"\\" + id;
}

inline LSTATUS loadRule(const std::wstring& id, RuleFields& fields) {
    const RegistryKey key(ruleKeyPath(id));
    if (!key.open()) {
        return key.status();
    }
    for (auto& [name, text] : fields.texts) {
        wchar_t buffer[2048] = L"";
        DWORD size = sizeof buffer - sizeof(wchar_t);
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
            text.assign(buffer, size / sizeof(wchar_t));
            if (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
        }
    }
    for (auto& [name, number] : fields.numbers) {
        DWORD size = sizeof number;
        RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&number), &size);
    }
    return ERROR_SUCCESS;
}

inline LSTATUS saveRule(const std::wstring& id, const RuleFields& fields) {
    const RegistryKey key(ruleKeyPath(id), true);
    LSTATUS status = key.status();
    for (const auto& [name, text] : fields.texts) {
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(text.c_str()),
                                    static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        }
    }
    for (const auto& [name, number] : fields.numbers) {
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                                    reinterpret_cast<const BYTE*>(&number), sizeof number);
        }
    }
    return status;
}

// The stored rules' ids in the order they were added.
inline std::vector<std::wstring> ruleIds() {
    std::vector<std::wstring> ids;
    const RegistryKey rules(rulesKey);
    wchar_t name[256];
    for (DWORD i = 0; rules.open(); ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(rules.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        ids.emplace_back(name, length);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

inline LSTATUS newRuleId(std::wstring& id) {
    const RegistryKey store(storeKey, true);
    DWORD next = 1;
    DWORD size = sizeof next;
    RegQueryValueExW(store.get(), nextRuleValue, nullptr, nullptr, reinterpret_cast<BYTE*>(&next),
                     &size);
    wchar_t text[16];
    wsprintfW(text, L"%08lu", next);
    id = text;
    ++next;
    return store.open() ? RegSetValueExW(store.get(), nextRuleValue, 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&next), sizeof next)
                        : store.status();
}

} // namespace velkora::test::kept_firewall
