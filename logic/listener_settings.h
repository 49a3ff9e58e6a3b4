#pragma once

#include <optional>

#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/system_info.h"

namespace velkora {

// Where the tool reads the listener's port: every reader goes through here.

// The listener's first value as stored (a number, or a text where someone stored one);
// raises the read's failure.
RegistryValue readListenerPortValue(Registry& registry);

// The port in the Tds value, the window's current port; none when that value is missing, not
// a number, or cannot be read.
std::optional<long> tdsListenerPort(Registry& registry);

// The port Remote Desktop listens on, the command line's current port: the RDP-Tcp value,
// or where that holds no number, the Tds value; none when neither does.
std::optional<long> listeningPort(Registry& registry);

// Both values as numbers, each absent when it cannot be read as one, and the port Remote
// Desktop listens on as above. Raises the RDP-Tcp value's failure (a value of another type is
// invalid data, 13) when neither holds a number.
struct ListenerPortValues {
    long listening = 0;
    std::optional<long> tds;
    std::optional<long> rdpTcp;
};
ListenerPortValues readListenerPortValues(Registry& registry);

// One Remote Desktop listener: a key under Terminal Server\WinStations with a PortNumber
// (RDP-Tcp, and any listener copied from it to keep a fallback on another port).
struct RemoteDesktopListener {
    std::wstring name;
    long port = 0;
    bool enabled = true;               // fEnableWinStation; a listener without it is enabled
    std::optional<long> securityLayer; // SecurityLayer: 0 RDP, 1 negotiate, 2 TLS
    std::optional<bool> nlaRequired;   // UserAuthentication: Network Level Authentication

    bool operator==(const RemoteDesktopListener&) const = default;
};

extern const std::wstring rdpTcpListenerName; // "RDP-Tcp"

// Listener names are registry key names: equal whatever the case of their letters.
bool sameListenerName(const std::wstring& a, const std::wstring& b);

// The listener a session came in through: its WinStation name is the listener's, followed
// by "#" and the connection's number ("RDP-Tcp#12"). None for any other session.
const RemoteDesktopListener* listenerOfSession(const std::vector<RemoteDesktopListener>& listeners,
                                               const std::wstring& winStationName);

// Every listener, as the registry lists them; a key without a PortNumber number is none.
// Raises when the listeners' key cannot be listed.
std::vector<RemoteDesktopListener> readListeners(SystemInfo& info, Registry& registry);
// The same, or none where they cannot be listed (nothing more to check then).
std::vector<RemoteDesktopListener> listenersIfReadable(SystemInfo& info, Registry& registry);

// Whether moving RDP-Tcp moves the only enabled listener while it does not require Network
// Level Authentication: the new port is then as open to scanners as the old.
bool movesTheOnlyListenerWithoutNla(const std::vector<RemoteDesktopListener>& listeners);

} // namespace velkora
