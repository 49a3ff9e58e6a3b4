#pragma once

namespace velkora {

// The states of the service control manager, with its numbers (SERVICE_STOPPED = 1 ...
// SERVICE_PAUSED = 7).
enum class ServiceState {
    Stopped = 1,
    StartPending,
    StopPending,
    Running,
    ContinuePending,
    PausePending,
    Paused
};

} // namespace velkora
