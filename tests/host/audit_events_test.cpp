#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "logic/audit_events.h"
#include "tests/host/fakes.h"

namespace velkora::test {
namespace {

const AuditAccount admin{L"SERVER\\admin", L"S-1-5-21-1004336348-1177238915-682003330-500"};

struct EventCase {
    AuditRecord record;
    AuditAccount account;
    AuditEntry expected;
};

TEST(AuditEvents, EachEventIsReportedWithItsIdLevelAndTexts) {
    // Each event's id and level, and its eight texts field for field: account name, SID, old
    // port, new port, restart, outcome, exit code, program.
    const std::vector<EventCase> eventCases = {
        {{AuditEvent::Applied, 3389, 3390, AuditRestart::None, L"required", 3010,
          AuditProgram::CommandLine},
         admin,
         {1000,
          AuditLevel::Information,
          {L"SERVER\\admin", admin.sid, L"3389", L"3390", L"none", L"required", L"3010",
           L"velkora-cli.exe"}}},
        {{AuditEvent::Applied, 3389, 50000, AuditRestart::Computer, L"started", 1641,
          AuditProgram::Window},
         admin,
         {1000,
          AuditLevel::Information,
          {L"SERVER\\admin", admin.sid, L"3389", L"50000", L"computer", L"started", L"1641",
           L"velkora.exe"}}},
        {{AuditEvent::Confirmed, 3389, 3390, AuditRestart::Service, L"done", 0,
          AuditProgram::CommandLine},
         {L"", L"S-1-5-18"},
         {1001,
          AuditLevel::Information,
          {L"-", L"S-1-5-18", L"3389", L"3390", L"service", L"done", L"0", L"velkora-cli.exe"}}},
        {{AuditEvent::RolledBackByCommand, 3389, 3390, AuditRestart::None, L"", 0,
          AuditProgram::Window},
         admin,
         {1002,
          AuditLevel::Warning,
          {L"SERVER\\admin", admin.sid, L"3389", L"3390", L"none", L"-", L"0", L"velkora.exe"}}},
        {{AuditEvent::RolledBackAtDeadline, 3389, 3390, AuditRestart::Service, L"", 13,
          AuditProgram::CommandLine},
         admin,
         {1003,
          AuditLevel::Warning,
          {L"SERVER\\admin", admin.sid, L"3389", L"3390", L"service", L"-", L"13",
           L"velkora-cli.exe"}}},
        {{AuditEvent::RolledBackAfterFailure, 3389, 3390, AuditRestart::None,
          auditErrorOutcome(PlatformError(5, L"拒绝访问。")), 5, AuditProgram::CommandLine},
         admin,
         {1004,
          AuditLevel::Error,
          {L"SERVER\\admin", admin.sid, L"3389", L"3390", L"none", L"5: 拒绝访问。", L"5",
           L"velkora-cli.exe"}}},
        {{AuditEvent::PutBackFailed, 3389, 3390, AuditRestart::Service,
          auditErrorOutcome(PlatformError(-2147024891, L"拒绝访问。")), 1,
          AuditProgram::CommandLine},
         admin,
         {1005,
          AuditLevel::Error,
          {L"SERVER\\admin", admin.sid, L"3389", L"3390", L"service", L"0x80070005: 拒绝访问。",
           L"1", L"velkora-cli.exe"}}},
        {{AuditEvent::RefusedByLockoutGuard, std::nullopt, 3390, AuditRestart::None, L"inUse", 10,
          AuditProgram::CommandLine},
         admin,
         {1006,
          AuditLevel::Warning,
          {L"SERVER\\admin", admin.sid, L"-", L"3390", L"none", L"inUse", L"10",
           L"velkora-cli.exe"}}},
    };
    for (const EventCase& c : eventCases) {
        FakeAuditLog log;
        log.user = c.account;
        EXPECT_EQ(recordAuditEvent(log, c.record), std::nullopt);
        ASSERT_EQ(log.reported.size(), 1u);
        const AuditEntry& got = log.reported[0];
        EXPECT_EQ(got.eventId, c.expected.eventId);
        EXPECT_EQ(got.level, c.expected.level) << got.eventId;
        EXPECT_EQ(got.strings, c.expected.strings) << got.eventId;
    }
}

// A log that fails is returned, never raised: the first failure, with the event still written
// where only the account could not be read.
TEST(AuditEvents, AFailureToRecordIsReturnedNotRaised) {
    const PlatformError noName(1332, L"帐户名与安全标识间无任何映射完成。");
    const PlatformError logFull(1502, L"事件日志文件已满。");
    struct Case {
        std::optional<PlatformError> accountError, reportError;
        long returned;
        std::vector<AuditEntry> reported;
    };
    const AuditRecord record{AuditEvent::Applied,      3389,        3390,
                             AuditRestart::None,       L"required", 3010,
                             AuditProgram::CommandLine};
    const Case cases[] = {
        {noName, std::nullopt, 1332, {auditEntry(AuditAccount{}, record)}},
        {std::nullopt, logFull, 1502, {}},
        {noName, logFull, 1332, {}},
    };
    for (const Case& c : cases) {
        FakeAuditLog log;
        log.accountError = c.accountError;
        log.reportError = c.reportError;
        const std::optional<PlatformError> failure = recordAuditEvent(log, record);
        ASSERT_TRUE(failure.has_value());
        EXPECT_EQ(failure->number(), c.returned);
        EXPECT_EQ(log.reported, c.reported) << c.returned;
    }
}

} // namespace
} // namespace velkora::test
