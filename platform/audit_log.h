#pragma once

#include <string>
#include <vector>

#include "platform/platform_error.h"

namespace velkora {

// The account this process runs as.
struct AuditAccount {
    std::wstring name; // "DOMAIN\user"; empty when the system has no name for the SID
    std::wstring sid;  // "S-1-5-21-..."
};

// The level an event is shown with.
enum class AuditLevel { Information, Warning, Error };

// One event: its id in the message table of the programs, and the texts put into it (%1 is
// the first).
struct AuditEntry {
    unsigned long eventId = 0;
    AuditLevel level = AuditLevel::Information;
    std::vector<std::wstring> strings;

    bool operator==(const AuditEntry&) const = default;
};

// The record of changes that security teams read: on Windows, the Application event log,
// source Velkora. Failures raise PlatformError.
class AuditLog {
public:
    virtual ~AuditLog() = default;
    // The account of this process, for the event's texts.
    virtual AuditAccount account() = 0;
    // Writes one event, under this process's account.
    virtual void report(const AuditEntry& entry) = 0;
};

} // namespace velkora
