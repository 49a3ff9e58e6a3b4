#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace velkora {

// Whether rules that let in only allowFrom would shut out this process's Remote Desktop session.
// What a client reports as its address differs behind NAT or a VPN and is absent through a
// gateway, so the addresses judged are the real peers: the remote addresses of the Remote
// Desktop service's established TCP connections on the listener's port. Gives the first peer
// the list does not certainly cover; an empty text when this runs in a Remote Desktop session
// and no peer can be found (nothing shows that the session keeps its way in); none outside
// such a session, or when every peer is covered.
std::optional<std::wstring> peerCutOffByAllowFrom(SystemServices& system,
                                                  const std::wstring& allowFrom,
                                                  std::optional<long> listenerPort);

} // namespace velkora
