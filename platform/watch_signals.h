#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace velkora {

// What the confirmation watcher waits for.
enum class WatchWake {
    TimeToLook,   // the limit passed, or the journal may have changed
    CommandEnded, // the process that makes the change ended (given once)
    RemoteLogon,  // a Remote Desktop client connected, or a remote session logged on
    Stop,         // the watcher is to stop, leaving the change pending
};

// A session that connected or logged on: the WinStation it came in through ("RDP-Tcp#3") and
// its client's address as the session reports it, if any.
struct RemoteSessionLogon {
    std::wstring winStation;
    std::optional<std::wstring> clientAddress;
};

class WatchSignals {
public:
    virtual ~WatchSignals() = default;
    virtual WatchWake wait(std::chrono::milliseconds limit) = 0;
    // The sessions behind the last RemoteLogon wake; each is given once.
    virtual std::vector<RemoteSessionLogon> remoteLogons() = 0;
};

} // namespace velkora
