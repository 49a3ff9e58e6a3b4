#pragma once

#include <string>
#include <vector>

namespace velkora {

// What the system tells about itself beyond single registry values: the keys under a key (the
// Remote Desktop listeners are keys), and the computer's name.
class SystemInfo {
public:
    virtual ~SystemInfo() = default;
    // The names of the subkeys of a key ("HKEY_LOCAL_MACHINE\...\WinStations"), as the
    // registry lists them. Raises PlatformError (2 for a key that does not exist).
    virtual std::vector<std::wstring> subkeyNames(const std::wstring& keyPath) = 0;
    // The name clients reach the computer by: its DNS host name, else its NetBIOS name.
    virtual std::wstring computerName() = 0;
};

} // namespace velkora
