#pragma once

#include <optional>
#include <vector>

#include "logic/listener_settings.h"
#include "platform/platform.h"

namespace velkora {

// What the command line's status reports. Everything but the port is optional: what cannot
// be read is unknown, not an error.
struct RemoteDesktopStatus {
    long port = 0; // where Remote Desktop listens: the RDP-Tcp value, else the Tds value
    std::optional<long> tdsPort; // the two values, each unknown when it holds no number
    std::optional<long> rdpTcpPort;
    bool firewallAvailable = false; // the modern firewall and its service
    std::optional<bool> tcpRule;    // the rules for the port exist as the tool makes them
    std::optional<bool> udpRule;
    std::optional<std::wstring> tcpRemoteAddresses; // of the rule of that name, if there is one
    std::optional<std::wstring> udpRemoteAddresses;
    std::optional<bool> allowed;          // Remote Desktop connections are allowed
    bool allowedByPolicy = false;         // the policy value decides, not the setting
    std::optional<ServiceStatus> service; // TermService
    std::optional<std::vector<long>> serviceTcpPorts;
    std::optional<std::vector<RemoteDesktopListener>> listeners; // every one with a port
};

extern const std::wstring denyConnectionsPath;       // the setting
extern const std::wstring denyConnectionsPolicyPath; // the group policy that overrides it
extern const std::wstring remoteDesktopServiceName;  // "TermService"

// Reads the status. Only a failure to read the port itself raises.
RemoteDesktopStatus readRemoteDesktopStatus(SystemServices& system);

} // namespace velkora
