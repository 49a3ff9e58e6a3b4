#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/audit_log.h"
#include "platform/platform_error.h"

namespace velkora {

// What happened to a change of the port, as the audit log records it. The values are the
// event ids of the programs' message table (resources/velkora_events.mc).
enum class AuditEvent : unsigned long {
    Applied = 1000,                // written; takes effect as the restart mode says
    Confirmed = 1001,              // the restarted service listens on the new port
    RolledBackByCommand = 1002,    // put back because someone asked for it
    RolledBackAtDeadline = 1003,   // put back: the service did not listen on it in time
    RolledBackAfterFailure = 1004, // a step failed; everything done was put back
    PutBackFailed = 1005,          // a step failed and putting back failed too
    RefusedByLockoutGuard = 1006,  // the port is in use or reserved; nothing written
    UnconfirmedAtDeadline = 1007,  // put back: nobody confirmed it before its deadline
    OldPortReopened = 1008,        // a closing of the old port, cut off, was put back
    JournalUnreadable = 1009,      // the watcher cannot read the pending change's record
};

// The program that made the change.
enum class AuditProgram { Window, CommandLine };

// How the change was to take effect.
enum class AuditRestart { None, Computer, Service };

// One change, as the caller knows it; the account comes from the audit log itself.
struct AuditRecord {
    AuditEvent event = AuditEvent::Applied;
    std::optional<long> oldPort; // the listener's port before, where it was known
    long newPort = 0;
    AuditRestart restart = AuditRestart::None;
    // What came of it, in a few words: the run's restart state (required, started, done), the
    // guard's finding (inUse, reserved), or the error as auditErrorOutcome writes it.
    std::wstring outcome;
    int exitCode = 0;
    AuditProgram program = AuditProgram::CommandLine;
};

// An error as the outcome of a record: its number (as errorNumberText writes it), a colon, its
// description and, where it names one, the failing call in parentheses.
std::wstring auditErrorOutcome(const PlatformError& error);

// The event's texts, always these eight in this order: %1 account name, %2 account SID,
// %3 old port, %4 new port, %5 restart (none, computer, service), %6 outcome, %7 exit code,
// %8 program (velkora.exe, velkora-cli.exe). What is not known is "-".
std::vector<std::wstring> auditInsertionStrings(const AuditAccount& account,
                                                const AuditRecord& record);

// The event for the record: its id, its level and its texts.
AuditEntry auditEntry(const AuditAccount& account, const AuditRecord& record);

// Records the change under this process's account. A failure to record never fails the
// change: nothing is raised, the first failure is returned for the caller to say once. An
// account that cannot be read leaves the event with "-" for it, and is that failure.
std::optional<PlatformError> recordAuditEvent(AuditLog& log, const AuditRecord& record);

} // namespace velkora
