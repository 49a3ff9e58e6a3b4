#pragma once

#include <optional>
#include <string>

#include "logic/firewall_rules.h"
#include "logic/lockout_guard.h"
#include "logic/pending_change.h"
#include "logic/port_change_request.h"
#include "logic/remote_desktop_status.h"
#include "logic/service_restart.h"
#include "platform/platform_error.h"

namespace velkora::cli {

// The exit codes are the change's own.
namespace ExitCode = velkora::ExitCode;

// What one run found and did; rendered as text lines and as JSON. A check or a change fills in
// what it found and did, the other commands the rest.
struct Report : PortChangeResult {
    std::string command; // "status", "check", "set"; empty when the arguments were refused
    std::optional<RemoteDesktopStatus> status; // status
    // status: the change waiting for confirmation; absent when none
    std::optional<PendingChange> pendingChange;
};

} // namespace velkora::cli
