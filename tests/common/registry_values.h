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
extern const wchar_t* const listenerTdsKey;
extern const wchar_t* const listenerRdpTcpKey;
extern const wchar_t* const standardOpenPortsKey;
extern const wchar_t* const domainOpenPortsKey;

struct StoredValue {
    DWORD type = 0;
    std::vector<std::uint8_t> bytes;
    bool operator==(const StoredValue& o) const { return type == o.type && bytes == o.bytes; }
};

void setDword(const wchar_t* key, const wchar_t* name, DWORD value);
void deleteValue(const wchar_t* key, const wchar_t* name);
std::optional<StoredValue> readValue(const wchar_t* key, const wchar_t* name);
std::optional<DWORD> readDword(const wchar_t* key, const wchar_t* name);
std::optional<std::wstring> readString(const wchar_t* key, const wchar_t* name);

// Every value of a key, by name (empty when the key does not exist).
std::map<std::wstring, StoredValue> snapshot(const wchar_t* key);

// The listener at 3389 in both values, and no open-port entries for the given port texts.
void seedListener(const std::vector<std::wstring>& portTextsToForget);

// Everything the tool may change, taken at once, to prove that nothing changed.
struct ToolRegistryState {
    std::map<std::wstring, StoredValue> tds, rdpTcp, standardPorts, domainPorts;
    bool operator==(const ToolRegistryState& o) const {
        return tds == o.tds && rdpTcp == o.rdpTcp && standardPorts == o.standardPorts &&
               domainPorts == o.domainPorts;
    }
};
ToolRegistryState toolRegistryState();

// HKCU\Control Panel\Desktop\LogPixels for the programs started in this scope; the old
// value (or its absence) comes back at the end of the scope.
class ScopedLogPixels : NonCopyable {
public:
    explicit ScopedLogPixels(DWORD dpi);
    ~ScopedLogPixels();

private:
    std::optional<StoredValue> previous_;
};

} // namespace velkora::test
