#pragma once

#include <optional>
#include <string>

#include "logic/port_change.h"
#include "logic/service_restart.h"

namespace velkora {

class UnconfirmedChange;

// Raises 1062 when the values hold the port but the running service listens elsewhere and
// the port it listens on cannot be told: a confirmed change could not be put back onto it.
// Otherwise the listened port to put back onto; none when the service listens on the port
// already (or cannot be seen, and so nothing will restart it).
std::optional<long> listenerMovesFrom(SystemServices& system, long port, bool restartsWhenUnseen);

// Values already in place that the running listener has not taken up: its process listens
// on other ports only. Where that cannot be seen, nothing counts as pending.
bool listenerAwaitsRestart(SystemServices& system, long port);

// What came of a change made with a restart of the Remote Desktop service.
struct ServicePortChange {
    PortChangeOutcome change;
    std::optional<long> oldPort; // the listener's port before, read under the change lock
    // Absent when the values were in place and the service listens on the port already.
    std::optional<ServiceRestartOutcome> restart;
    bool restartedForValuesInPlace = false; // the values held the port before; nothing to undo
    std::optional<long> listenerPortNow;    // after a failed roll-back: the value in effect
};

// The whole change with a restart of the Remote Desktop service, under the change lock the
// caller holds: the service is checked before anything is written; the change is made; then the
// service is restarted and the change put back unless it comes up on the new port. Values
// that were in place already (written earlier without a restart) are not put back: the
// service is restarted for them unless it listens on the port.
// With a confirmation, the change awaits it once verified; one put back ends it; one that could
// not be put back is left to its watcher.
ServicePortChange
changePortWithServiceRestart(SystemServices& system, const HeldChangeLock& held,
                             const std::wstring& portText, const ServiceRestartLimits& limits,
                             OnInterruptedChange onInterrupted,
                             const std::optional<std::wstring>& allowFrom = std::nullopt,
                             UnconfirmedChange* confirmation = nullptr);

} // namespace velkora
