#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "logic/close_old_port.h"
#include "logic/firewall_rules.h"
#include "platform/change_journal.h"
#include "platform/registry.h"

namespace velkora {

// Where a change to be confirmed stands: being written and restarted by the command that
// makes it, or made and waiting for someone to prove they got in on the new port.
// Confirmed with --close-old, a change closes the old port; while it does, the journal holds
// what it takes away, so that a closing cut off is put back. Put back, a change stays on
// record until Remote Desktop is seen listening on the old port again.
enum class PendingState { Applying, AwaitingConfirmation, ClosingOldPort, RestartPending };

enum class PendingRestart { Service, Computer };

// A change that is taken back by itself unless it is confirmed: everything needed to put it
// back, as captured before the first write, and when.
struct PendingChange {
    PendingState state = PendingState::Applying;
    std::optional<long> oldPort;
    long newPort = 0;
    // The port as typed ("03390"): the open-port entries are named and filled from it. Empty in
    // a journal that did not record it: the number's text.
    std::wstring newPortText;
    PendingRestart restart = PendingRestart::Service;
    long confirmSeconds = 0;
    std::int64_t confirmBy = 0; // seconds since 1970-01-01 UTC
    bool confirmByLogon = true;
    // After a restart of the computer the deadline counts from the watcher's first start.
    bool countedFromBoot = false;
    // The boot the deadline was set in (SystemInfo::bootId), and where it falls on that boot's
    // tick count (Clock::now), which a change of the system time does not move. No boot is
    // known for a journal of the first format.
    std::string bootId;
    std::int64_t confirmByTick = 0;         // milliseconds
    std::vector<RegistryValueState> values; // the four values, in the order of the writes
    CapturedRules rules;
    bool closeOld = false;                 // once confirmed, the old port is closed
    std::optional<OldPortClosing> closing; // ClosingOldPort: what the closing takes away

    bool operator==(const PendingChange&) const = default;
};

// "applying", "awaiting-confirmation", "closing-old-port", "restart-pending".
const char* pendingStateName(PendingState state);

// The port text the change wrote its values and open-port entries with.
std::wstring writtenPortText(const PendingChange& change);

// The pending change as the journal has it; none when nothing is pending.
std::optional<PendingChange> readPendingChange(ChangeJournal& journal);

} // namespace velkora
