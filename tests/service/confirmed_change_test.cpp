// A confirmed change made by the real velkora-cli.exe, with its real watcher service, against
// the stand-in Remote Desktop service.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/platform_error.h"
#include "tests/common/cli_process.h"
#include "tests/common/test_helpers.h"
#include "tests/service/standins.h"

namespace velkora::test {
namespace {

using Clock = std::chrono::steady_clock;

Json journal() {
    return Json::parse(fileText(velkoraDataFolder() + L"pending-change.json"), nullptr, false);
}

bool journalThere() {
    return GetFileAttributesW((velkoraDataFolder() + L"pending-change.json").c_str()) !=
           INVALID_FILE_ATTRIBUTES;
}

// A folder an administrator made outside the protected ones, where every user may change files
// (as one made under C:\\ is), or a cache a deployment engine cleans: the program is run from a
// copy there.
std::wstring programInAnOpenFolder() {
    const std::wstring folder = L"C:\\users\\Public\\Velkora Tools";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring program = folder + L"\\velkora-cli.exe";
    EXPECT_TRUE(CopyFileW(velkoraCliExe().c_str(), program.c_str(), FALSE));
    return program;
}

const std::wstring watcherProgram() {
    return velkoraDataFolder() + L"watcher\\velkora-cli.exe";
}

std::wstring imagePathOfWatcher() {
    wchar_t text[1024] = {};
    DWORD size = sizeof text;
    RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Services\\VelkoraConfirm",
                 L"ImagePath", RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, text,
                 &size);
    return text;
}

class ConfirmedChangeTest : public testing::Test {
protected:
    void SetUp() override {
        resetStandIns(services, 3389);
        DeleteFileW((velkoraDataFolder() + L"velkora-cli.log").c_str());
    }
    void TearDown() override {
        // The power cut leaves its change pending for the boot that follows.
        if (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) !=
            "PowerCutBeforeTheDeadline") {
            runCli(L"rollback");
        }
        clearStandInBehaviour();
    }

    bool watcherGone() {
        try {
            services.query(L"VelkoraConfirm");
            return false;
        } catch (const PlatformError& error) {
            return error.number() == ERROR_SERVICE_DOES_NOT_EXIST;
        }
    }

    win32::ScmServiceManager services;
};

TEST_F(ConfirmedChangeTest, ConfirmKeepsThePortAndRemovesTheWatcher) {
    const Json set = cliJson(L"set 4100 --restart service --confirm-seconds 300");
    EXPECT_EQ(set["confirmation"], "pending");
    EXPECT_EQ(journal()["state"], "awaiting-confirmation");
    EXPECT_EQ(services.query(L"VelkoraConfirm").state, ServiceState::Running);
    const Json status = cliJson(L"status");
    EXPECT_EQ(status["pendingChange"], (Json{{"oldPort", 3389},
                                             {"newPort", 4100},
                                             {"confirmBy", set["confirmBy"]},
                                             {"state", "awaiting-confirmation"}}));
    EXPECT_EQ(cliJson(L"set 4200 --restart service", 1618)["error"]["number"], 1618);

    EXPECT_EQ(cliJson(L"confirm")["confirmed"], true);
    EXPECT_FALSE(journalThere());
    EXPECT_TRUE(waitUntil([&] { return watcherGone(); }, 10000));
    expectListenerAt(4100);
    EXPECT_TRUE(acceptsConnections(4100));
    EXPECT_EQ(lastResultLogLine(), "confirm: port 4100 kept (by command)");
    EXPECT_EQ(cliJson(L"confirm")["confirmed"], false);
    EXPECT_EQ(cliJson(L"rollback")["rolledBack"], false);
}

// The deadline passes unconfirmed: the watcher puts everything back and goes.
TEST_F(ConfirmedChangeTest, AnUnconfirmedChangeIsPutBackAtItsDeadline) {
    cliJson(L"set 4100 --restart service --confirm-seconds 30");
    const auto confirmBy = Clock::now() + std::chrono::seconds(30);
    EXPECT_TRUE(waitUntil([&] { return Clock::now() >= confirmBy; }, 40000));
    EXPECT_TRUE(waitUntil([] { return acceptsConnections(3389); }, 30000));
    std::printf("deadline to listening on the old port: %lld ms\n",
                static_cast<long long>((Clock::now() - confirmBy) / std::chrono::milliseconds(1)));
    EXPECT_TRUE(waitUntil([&] { return watcherGone(); }, 20000));
    EXPECT_FALSE(journalThere());
    expectListenerAt(3389);
    EXPECT_EQ(lastResultLogLine(), "rollback 4100 -> 3389 (deadline): listening on 3389");
}

// The command is killed while it waits for the listener: the watcher does not wait for the
// deadline.
TEST_F(ConfirmedChangeTest, ACommandKilledWhileItVerifiesIsPutBackAtOnce) {
    setStandInBehaviour(L"RefusePort", 4100);
    CliProcess command(L"set 4100 --restart service --verify-seconds 60 --confirm-seconds 3600");
    EXPECT_TRUE(waitUntil(
        [] { return journalThere() && readDword(listenerRdpTcpKey, L"PortNumber") == 4100u; },
        30000));
    EXPECT_EQ(journal()["state"], "applying");
    Sleep(4000); // the restart takes about a second; then it waits for the listener
    command.finish(0);
    EXPECT_TRUE(waitUntil([&] { return watcherGone(); }, 60000));
    EXPECT_FALSE(journalThere());
    expectListenerAt(3389);
    EXPECT_TRUE(acceptsConnections(3389));
    EXPECT_EQ(lastResultLogLine(), "rollback 4100 -> 3389 (command ended): listening on 3389");
}

// Run from a folder every user may change: the service runs a copy in the protected data
// folder, byte for byte the program that runs, which cannot be renamed and replaced meanwhile.
TEST_F(ConfirmedChangeTest, TheWatcherRunsAProtectedCopyOfTheRunningProgram) {
    const std::wstring program = programInAnOpenFolder();
    setStandInBehaviour(L"RefusePort", 4100);
    CliProcess command(L"set 4100 --restart service --verify-seconds 60 --confirm-seconds 3600",
                       program);
    EXPECT_TRUE(waitUntil(
        [] { return journalThere() && readDword(listenerRdpTcpKey, L"PortNumber") == 4100u; },
        30000));
    EXPECT_FALSE(MoveFileW(program.c_str(), (program + L".renamed").c_str()));
    EXPECT_EQ(imagePathOfWatcher(), L"\"" + watcherProgram() + L"\" watch");
    EXPECT_EQ(fileText(watcherProgram()), fileText(program));
    Sleep(4000); // killed once it waits for the listener, not in the middle of the restart
    command.finish(0);
    EXPECT_TRUE(waitUntil([&] { return watcherGone(); }, 60000));
    expectListenerAt(3389);
    EXPECT_TRUE(DeleteFileW(program.c_str()));
}

// The watcher cannot read the journal: it says so once, in the result log, and keeps looking.
TEST_F(ConfirmedChangeTest, AJournalTheWatcherCannotReadIsSaid) {
    cliJson(L"set 4100 --restart service --confirm-seconds 300");
    // Stopped first: the watcher looks at the journal once the command has ended, and a journal
    // it holds open for reading cannot be written.
    services.stop(L"VelkoraConfirm", std::chrono::seconds(30));
    {
        std::ofstream damaged((velkoraDataFolder() + L"pending-change.json").c_str(),
                              std::ios::binary | std::ios::trunc);
        damaged << "{\"version\": 2";
        ASSERT_TRUE(damaged.flush()) << "the journal could not be damaged";
    }
    services.start(L"VelkoraConfirm", std::chrono::seconds(30));
    EXPECT_TRUE(waitUntil(
        [] { return lastResultLogLine().rfind("watch: journal unreadable", 0) == 0; }, 20000));
    EXPECT_EQ(lastResultLogLine(),
              "watch: journal unreadable (nothing is put back until it can be read), error 13: "
              "无法读取待确认修改的记录 pending-change.json：内容已损坏。");
    DeleteFileW((velkoraDataFolder() + L"pending-change.json").c_str());
    runCli(L"confirm");
}

// Values written by an earlier set that the stand-in has not taken up: under Wine the port it
// listens on cannot be told (no socket has an owner), so it could not be put back onto: refused,
// nothing restarted. Without the confirmation the restart goes on as before.
TEST_F(ConfirmedChangeTest, ValuesInPlaceWhoseListenedPortCannotBeToldAreRefused) {
    cliJson(L"set 4731", 3010);
    const Json refused = cliJson(L"set 4731 --restart service --confirm-seconds 300", 1);
    EXPECT_EQ(refused["error"]["number"], 1062);
    EXPECT_FALSE(journalThere());
    EXPECT_TRUE(acceptsConnections(3389));
    EXPECT_EQ(cliJson(L"set 4731 --restart service")["restart"], "done");
}

// Only the open-port entries were missing: made good, the change awaits confirmation (the
// watcher does not take it back once the command has ended).
TEST_F(ConfirmedChangeTest, AMakeGoodAwaitsConfirmation) {
    deleteValue(standardOpenPortsKey, L"3389:TCP ");
    EXPECT_EQ(cliJson(L"set 3389 --restart service --confirm-seconds 300")["confirmation"],
              "pending");
    EXPECT_EQ(journal()["state"], "awaiting-confirmation");
    Sleep(2000);
    EXPECT_EQ(journal()["state"], "awaiting-confirmation");
    EXPECT_EQ(cliJson(L"confirm")["confirmed"], true);
}

// The stand-in will not start again: the values are back, the change stays on record as
// restart-pending, with its watcher, until the service listens on the old port.
TEST_F(ConfirmedChangeTest, APutBackWhoseRestartFailsStaysOnRecord) {
    cliJson(L"set 4733 --restart service --confirm-seconds 300");
    setStandInBehaviour(L"FailStart", 1);
    EXPECT_EQ(cliJson(L"rollback", 1)["rolledBack"], false);
    expectListenerAt(3389);
    EXPECT_EQ(journal()["state"], "restart-pending");
    EXPECT_EQ(cliJson(L"status")["pendingChange"]["state"], "restart-pending");
    EXPECT_EQ(services.query(L"VelkoraConfirm").state, ServiceState::Running);
    setStandInBehaviour(L"FailStart", 0);
    EXPECT_EQ(cliJson(L"rollback")["rolledBack"], true);
    EXPECT_FALSE(journalThere());
    EXPECT_TRUE(acceptsConnections(3389));
    EXPECT_EQ(lastResultLogLine(), "rollback 4733 -> 3389 (asked): listening on 3389");
}

// A port typed with a leading zero names its open-port entries so; the put-back removes those,
// never an administrator's entry of the number's name.
TEST_F(ConfirmedChangeTest, APortTypedWithALeadingZeroIsPutBackAtItsOwnEntries) {
    const std::wstring admins = L"4732:TCP:*:Enabled:管理员";
    writeValue(standardOpenPortsKey, L"4732:TCP ", stringValue(admins));
    cliJson(L"set 04732 --restart service --confirm-seconds 300");
    EXPECT_EQ(readString(standardOpenPortsKey, L"04732:TCP "), L"04732:TCP:*:Enabled:04732");
    EXPECT_EQ(cliJson(L"rollback")["rolledBack"], true);
    EXPECT_FALSE(readValue(standardOpenPortsKey, L"04732:TCP ").has_value());
    EXPECT_EQ(readString(standardOpenPortsKey, L"4732:TCP "), admins);
    deleteValue(standardOpenPortsKey, L"4732:TCP ");
}

// A power cut while a change waits: run by power_cut_test.sh, which ends every process of the
// prefix after the first half and starts it again, as a boot, once the deadline has passed.
// The program that made the change is deleted before the cut, as a cleaned cache is.
TEST_F(ConfirmedChangeTest, PowerCutBeforeTheDeadline) {
    const std::wstring program = programInAnOpenFolder();
    cliJson(L"set 4100 --restart service --confirm-seconds 30", 0, program);
    EXPECT_EQ(journal()["state"], "awaiting-confirmation");
    EXPECT_TRUE(DeleteFileW(program.c_str()));
}

TEST(PowerCut, AfterTheDeadlineTheWatcherStartsWithTheSystemAndPutsBack) {
    EXPECT_TRUE(waitUntil([] { return !journalThere(); }, 60000));
    EXPECT_TRUE(waitUntil([] { return acceptsConnections(3389); }, 30000));
    expectListenerAt(3389);
    const std::string last = lastResultLogLine();
    EXPECT_NE(last.find("rollback 4100 -> 3389 (deadline): listening on 3389"), std::string::npos)
        << last;
}

} // namespace
} // namespace velkora::test
