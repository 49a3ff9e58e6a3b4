#pragma once

#include "logic/confirmed_change.h"

namespace velkora {

// The steps that end a pending change, shared by confirm and rollback and by the watcher. Each
// runs under the change lock the caller holds, on the change as the journal has it.

// The journal's new text.
void writeJournal(SystemServices& system, const PendingChange& change);

// Keeps the change (and closes its old port if asked); the log's line and the audit event.
PendingEnd confirmUnderLock(SystemServices& system, const PendingChange& pending, ConfirmedBy by);

// Puts the change back, or a closing of its old port that was cut off; the log's line and the
// audit event.
PendingEnd putBackUnderLock(SystemServices& system, const PendingChange& pending,
                            PutBackReason reason, const ServiceRestartLimits& limits);

} // namespace velkora
