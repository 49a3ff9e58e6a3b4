#include <gtest/gtest.h>

#include <windows.h>

#include <sddl.h>

#include <optional>
#include <string>

#include "logic/audit_events.h"
#include "platform/win32/audit/event_log_audit_log.h"
#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/win32_error.h"
#include "tests/win/test_support.h"

// Wine's event log keeps no events: what can be seen here is that an event is written without
// an error, the source's key, and the account.
namespace velkora::test {
namespace {

const std::wstring sourceKey =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Velkora";

const AuditRecord appliedRecord{AuditEvent::Applied,      3389,        3390,
                                AuditRestart::None,       L"required", 3010,
                                AuditProgram::CommandLine};

std::wstring cliPath() {
    return testFolder() + L"\\" VELKORA_UI_FOLDER L"/velkora-cli.exe";
}

struct SourceCase {
    const char* name;
    std::optional<RawValue> before; // the source's EventMessageFile; none: no key
    RawValue after;
};

// The source is registered with the running program and TypesSupported 7, unless it names
// message files that all exist already.
TEST(EventLogAuditLog, RegistersTheSourceWithTheRunningProgramUnlessItNamesFilesThatExist) {
    const std::wstring self = win32::executablePath();
    const RawValue selfValue{REG_SZ, bytesOf(self)};
    const RawValue cliValue{REG_SZ, bytesOf(cliPath())};
    const RawValue expandable{REG_EXPAND_SZ,
                              bytesOf(L"%SystemRoot%\\system32\\kernel32.dll;" + cliPath())};
    const RawValue gone{REG_SZ, bytesOf(L"C:\\velkora-gone\\velkora.exe")};
    const RawValue oneGone{
        REG_EXPAND_SZ, bytesOf(L"%SystemRoot%\\system32\\kernel32.dll;C:\\velkora-gone\\x.exe")};
    const SourceCase cases[] = {
        {"no source", std::nullopt, selfValue},
        {"the other program", cliValue, cliValue},
        {"files named with a variable", expandable, expandable},
        {"a file that is gone", gone, selfValue},
        {"one of two files gone", oneGone, selfValue},
    };
    for (const SourceCase& c : cases) {
        deleteKeyTree(HKEY_LOCAL_MACHINE, sourceKey);
        if (c.before) {
            writeRawValue(HKEY_LOCAL_MACHINE, sourceKey, L"EventMessageFile", c.before->type,
                          c.before->bytes);
        }
        win32::EventLogAuditLog log;
        EXPECT_EQ(recordAuditEvent(log, appliedRecord), std::nullopt) << c.name;
        EXPECT_EQ(readRawValue(HKEY_LOCAL_MACHINE, sourceKey, L"EventMessageFile"), c.after)
            << c.name;
        const std::optional<RawValue> types =
            readRawValue(HKEY_LOCAL_MACHINE, sourceKey, L"TypesSupported");
        if (c.before == c.after) {
            EXPECT_EQ(types, std::nullopt) << c.name << ": a source that works is left alone";
        } else {
            EXPECT_EQ(types, (RawValue{REG_DWORD, bytesOf(7)})) << c.name;
        }
    }
    deleteKeyTree(HKEY_LOCAL_MACHINE, sourceKey);
}

// A source that cannot be registered (here: its key refuses writes) does not keep the event
// out of the log; the failure is returned, to be said once.
TEST(EventLogAuditLog, WritesTheEventWhereTheSourceCannotBeRegistered) {
    const RawValue gone{REG_SZ, bytesOf(L"C:\\velkora-gone\\velkora.exe")};
    deleteKeyTree(HKEY_LOCAL_MACHINE, sourceKey);
    writeRawValue(HKEY_LOCAL_MACHINE, sourceKey, L"EventMessageFile", gone.type, gone.bytes);
    setKeyDacl(HKEY_LOCAL_MACHINE, sourceKey, L"D:P(D;;0x6;;;WD)(A;;KA;;;WD)");
    win32::EventLogAuditLog log;
    const std::optional<PlatformError> failure = recordAuditEvent(log, appliedRecord);
    setKeyDacl(HKEY_LOCAL_MACHINE, sourceKey, L"D:(A;;KA;;;WD)");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(failure->description(), L"事件已写入应用程序日志，但未能注册事件来源 Velkora，"
                                      L"事件查看器无法显示事件的文字：" +
                                          win32::systemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(readRawValue(HKEY_LOCAL_MACHINE, sourceKey, L"EventMessageFile"), gone);
    deleteKeyTree(HKEY_LOCAL_MACHINE, sourceKey);
}

// The account is this process's user: the SID its name stands for, and the name the system
// gives this user.
TEST(EventLogAuditLog, NamesTheAccountOfThisProcess) {
    const AuditAccount account = win32::EventLogAuditLog().account();
    wchar_t user[256] = {};
    DWORD userLength = 256;
    ASSERT_TRUE(GetUserNameW(user, &userLength));
    const std::size_t slash = account.name.find(L'\\');
    ASSERT_NE(slash, std::wstring::npos) << toUtf8(account.name);
    EXPECT_EQ(account.name.substr(slash + 1), user);

    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    DWORD sidSize = sizeof sid;
    wchar_t domain[256] = {};
    DWORD domainLength = 256;
    SID_NAME_USE use;
    ASSERT_TRUE(LookupAccountNameW(nullptr, account.name.c_str(), sid, &sidSize, domain,
                                   &domainLength, &use));
    wchar_t* text = nullptr;
    ASSERT_TRUE(ConvertSidToStringSidW(sid, &text));
    const win32::UniqueLocalMemory owner(text);
    EXPECT_EQ(account.sid, text);
}

} // namespace
} // namespace velkora::test
