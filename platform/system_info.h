#pragma once

#include <optional>
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
    // When this process runs in a Remote Desktop session: the address its client reported
    // ("192.0.2.7", or eight IPv6 groups), which is the one that must stay let in. Nothing in a
    // local session, or where the system does not say.
    virtual std::optional<std::wstring> remoteSessionClientAddress() = 0;
    // The same text from any process for as long as the system runs, another after it has
    // started again; no clock decides it. Raises PlatformError when it cannot be had.
    virtual std::wstring bootId() = 0;
    // Whether this process runs in a Remote Desktop session, whatever its client reported.
    virtual bool inRemoteDesktopSession() = 0;
};

} // namespace velkora
