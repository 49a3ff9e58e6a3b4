#pragma once

#include "platform/port_probe.h"

namespace velkora::win32 {

// Trial binds through Winsock; holders from the IP helper's owner tables, named by the
// process image and the service manager. Winsock is started for each trial bind.
class SystemPortProbe final : public PortProbe {
public:
    int trialBind(long port) override;
    std::vector<PortHolder> holders(long port) override;
    std::vector<TcpPeer> establishedPeers(long port) override;
};

} // namespace velkora::win32
