#pragma once

#include <string>
#include <vector>

#include "platform/audit_log.h"

namespace velkora::win32 {

// The source's key under HKEY_LOCAL_MACHINE.
inline constexpr wchar_t eventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velkora";

// The Application log of this computer, source Velkora. Before its first event it registers
// the source, with the running program as the file of the event texts (both programs carry
// the message table), unless the source names message files that all exist. Events carry
// this process's user. advapi32 alone: no window, no COM.
class EventLogAuditLog final : public AuditLog {
public:
    // The token's user: its SID as text, and "DOMAIN\name" where the SID can be looked up.
    AuditAccount account() override;
    // An event that was written while the source could not be registered raises that failure
    // afterwards: it is in the log, but Event Viewer has no text for it.
    void report(const AuditEntry& entry) override;

private:
    const std::vector<unsigned char>& userSid();

    std::vector<unsigned char> userSid_;
    bool sourceRegistered_ = false;
};

} // namespace velkora::win32
