#pragma once

#include <chrono>

namespace velkora {

// What the confirmation watcher waits for.
enum class WatchWake {
    TimeToLook,   // the limit passed, or the journal may have changed
    CommandEnded, // the process that makes the change ended (given once)
    RemoteLogon,  // a Remote Desktop client connected, or a remote session logged on
    Stop,         // the watcher is to stop, leaving the change pending
};

class WatchSignals {
public:
    virtual ~WatchSignals() = default;
    virtual WatchWake wait(std::chrono::milliseconds limit) = 0;
};

} // namespace velkora
