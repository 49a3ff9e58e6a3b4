#include "logic/session_guard.h"

#include <vector>

#include "logic/remote_addresses.h"
#include "logic/remote_desktop_status.h"
#include "platform/error_record.h"

namespace velkora {
namespace {

// The remote addresses of the service's established connections on the port; where the system
// names no owners (process 0), every connection on the port counts. None where the tables or
// the service cannot be read.
std::vector<std::wstring> remoteDesktopPeers(SystemServices& system, long port) {
    std::vector<std::wstring> peers;
    try {
        const ServiceStatus service = system.services.query(remoteDesktopServiceName);
        for (const TcpPeer& peer : system.ports.establishedPeers(port)) {
            if (peer.pid == 0 || (service.processId != 0 && peer.pid == service.processId)) {
                peers.push_back(peer.remoteAddress);
            }
        }
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
        peers.clear();
    }
    return peers;
}

} // namespace

std::optional<std::wstring> peerCutOffByAllowFrom(SystemServices& system,
                                                  const std::wstring& allowFrom,
                                                  std::optional<long> listenerPort) {
    if (!system.info.inRemoteDesktopSession()) {
        return std::nullopt;
    }
    const std::vector<std::wstring> peers =
        listenerPort ? remoteDesktopPeers(system, *listenerPort) : std::vector<std::wstring>{};
    if (peers.empty()) {
        return std::wstring();
    }
    for (const std::wstring& peer : peers) {
        if (!remoteAddressListCovers(allowFrom, peer)) {
            return peer;
        }
    }
    return std::nullopt;
}

} // namespace velkora
