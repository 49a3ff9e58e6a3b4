#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/non_copyable.h"

namespace velkora::test {

// The keys the tool reads and writes, under HKEY_LOCAL_MACHINE.
inline const wchar_t* const listenerTdsKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\tcp";
inline const wchar_t* const listenerRdpTcpKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\RDP-Tcp";
inline const wchar_t* const standardOpenPortsKey =
    L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
    L"StandardProfile\\GloballyOpenPorts\\List";
inline const wchar_t* const domainOpenPortsKey =
    L"SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\FirewallPolicy\\"
    L"DomainProfile\\GloballyOpenPorts\\List";

struct StoredValue {
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const StoredValue&) const = default;
};

// A number as REG_DWORD stores it, and a text as REG_SZ does (with its terminating NUL).
StoredValue dwordValue(DWORD number);
StoredValue stringValue(const std::wstring& text);

// A value of a key under the root (the 64-bit view; the key is made when it is written).
void writeValue(const wchar_t* key, const wchar_t* name, const StoredValue& value,
                HKEY root = HKEY_LOCAL_MACHINE);
void setDword(const wchar_t* key, const wchar_t* name, DWORD value);
void deleteValue(const wchar_t* key, const wchar_t* name, HKEY root = HKEY_LOCAL_MACHINE);
std::optional<StoredValue> readValue(const wchar_t* key, const wchar_t* name,
                                     HKEY root = HKEY_LOCAL_MACHINE);
std::optional<DWORD> readDword(const wchar_t* key, const wchar_t* name);
std::optional<std::wstring> readString(const wchar_t* key, const wchar_t* name);

// Every value of a key, by name (empty when the key does not exist).
std::map<std::wstring, StoredValue> snapshot(const wchar_t* key);

// The port in both of the listener's values.
void setListenerPort(DWORD port);
// The listener at 3389 in both values, and no open-port entries for the given port texts.
void seedListener(const std::vector<std::wstring>& portTextsToForget);
// Both listener values hold the port.
void expectListenerAt(DWORD port);
// The open-port entries of both profiles for the port text, as the tool writes them.
void expectOpenPortEntries(const std::wstring& port);

// Everything the tool may change, taken at once, to prove that nothing changed.
struct ToolRegistryState {
    std::map<std::wstring, StoredValue> tds, rdpTcp, standardPorts, domainPorts;
    bool operator==(const ToolRegistryState&) const = default;
};
ToolRegistryState toolRegistryState();

// A value set for the programs started in this scope; the old value (or its absence) comes
// back at the end of the scope.
class ScopedValue : NonCopyable {
public:
    ScopedValue(HKEY root, const wchar_t* key, const wchar_t* name, const StoredValue& value);
    ~ScopedValue();

private:
    HKEY root_;
    const wchar_t *key_, *name_;
    std::optional<StoredValue> previous_;
};

} // namespace velkora::test
