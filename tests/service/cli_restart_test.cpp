// The real velkora-cli.exe, run as its own process, against the stand-in services.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/common/cli_process.h"
#include "tests/service/standins.h"

namespace velkora::test {
namespace {

std::string readAndClearEvents() {
    const std::wstring path = folderOfStandIn() + L"events.log";
    const std::string text = fileText(path);
    DeleteFileW(path.c_str());
    return text;
}

// The last line of the log read after reconnecting, without its time stamp; deletes the log.
std::string lastLogLineAndClear() {
    const std::string last = lastResultLogLine();
    DeleteFileW((velkoraDataFolder() + L"velkora-cli.log").c_str());
    return last;
}

class CliServiceRestartTest : public testing::Test {
protected:
    void SetUp() override {
        resetStandIns(services, 3389);
        readAndClearEvents();
        lastLogLineAndClear();
    }
    void TearDown() override { clearStandInBehaviour(); }

    void expectListenerOn(unsigned long port) {
        expectListenerAt(port);
        EXPECT_TRUE(acceptsConnections(port));
        EXPECT_EQ(services.query(standInService).state, ServiceState::Running);
    }

    win32::ScmServiceManager services;
};

TEST_F(CliServiceRestartTest, RestartsInDependencyOrderAndListensOnTheNewPort) {
    const Json run = cliJson(L"set 4100 --restart service");
    EXPECT_EQ(run["restart"], "done");
    EXPECT_EQ(run["verified"], true);
    EXPECT_EQ(run["rolledBack"], false);
    EXPECT_EQ(run["port"], 4100);
    EXPECT_EQ(readAndClearEvents(), "stop VelkoraTestDependent\nstop TermService\n"
                                    "start TermService\nstart VelkoraTestDependent\n");
    expectListenerOn(4100);
    EXPECT_FALSE(acceptsConnections(3389));
    EXPECT_EQ(services.query(standInDependent).state, ServiceState::Running);
    EXPECT_EQ(lastLogLineAndClear(), "set 4100 --restart service: exit 0, verified, old port 3389");
    std::printf("verified restart: %.1f s\n", run["restartSeconds"].get<double>());
}

// Written earlier without a restart, the port is taken up by restarting the service for it.
TEST_F(CliServiceRestartTest, ValuesWrittenWithoutARestartAreTakenUpByTheRestart) {
    cliJson(L"set 4100", 3010);
    EXPECT_TRUE(acceptsConnections(3389));
    readAndClearEvents();
    const Json run = cliJson(L"set 4100 --restart service");
    EXPECT_EQ(run["restart"], "done");
    EXPECT_EQ(run["verified"], true);
    EXPECT_EQ(readAndClearEvents(), "stop VelkoraTestDependent\nstop TermService\n"
                                    "start TermService\nstart VelkoraTestDependent\n");
    expectListenerOn(4100);
    EXPECT_EQ(lastLogLineAndClear(), "set 4100 --restart service: exit 0, verified, old port 4100");
}

// Only the RDP-Tcp value was moved earlier (to 4100, the Tds value still 3389), and the
// service listens there: every command starts from 4100, and the set leaves both at 4200.
TEST_F(CliServiceRestartTest, TheCurrentPortIsTheRdpTcpValue) {
    resetStandIns(services, 4100);
    setDword(listenerTdsKey, L"PortNumber", 3389);
    readAndClearEvents();

    const Json status = cliJson(L"status");
    EXPECT_EQ(status["port"], 4100);
    EXPECT_EQ(status["remoteDesktop"]["portValues"]["tds"], 3389);
    EXPECT_EQ(cliJson(L"check 4100")["check"]["result"], "same");
    const Json run = cliJson(L"set 4200 --restart service");
    EXPECT_EQ(run["oldPort"], 4100);
    EXPECT_EQ(run["verified"], true);
    expectListenerOn(4200);
    EXPECT_EQ(lastLogLineAndClear(), "set 4200 --restart service: exit 0, verified, old port 4100");
}

TEST_F(CliServiceRestartTest, AServiceThatRefusesTheNewPortIsRolledBack) {
    setStandInBehaviour(L"RefusePort", 4100);
    const Json run = cliJson(L"set 4100 --restart service --verify-seconds 3", 13);
    EXPECT_EQ(run["rolledBack"], true);
    EXPECT_EQ(run["verified"], false);
    EXPECT_EQ(run["changed"], false);
    EXPECT_EQ(run["reason"]["service"]["state"], "running");
    EXPECT_EQ(run["reason"]["error"], nullptr);
    EXPECT_EQ(readAndClearEvents(),
              "stop VelkoraTestDependent\nstop TermService\nstart TermService\n"
              "start VelkoraTestDependent\nstop VelkoraTestDependent\nstop TermService\n"
              "start TermService\nstart VelkoraTestDependent\n");
    expectListenerOn(3389);
    EXPECT_EQ(lastLogLineAndClear(),
              "set 4100 --restart service: exit 13, rolled back, old port 3389");
}

TEST_F(CliServiceRestartTest, AServiceThatDoesNotAcceptStopGetsNothingWritten) {
    services.stop(standInDependent, std::chrono::seconds(20));
    services.stop(standInService, std::chrono::seconds(20));
    setStandInBehaviour(L"NoStop", 1);
    services.start(standInService, std::chrono::seconds(20));
    readAndClearEvents();
    const Json run = cliJson(L"set 4100 --restart service", 1);
    EXPECT_EQ(run["error"]["number"], 1052);
    EXPECT_EQ(run["changed"], false);
    EXPECT_EQ(readAndClearEvents(), "");
    expectListenerOn(3389);
}

TEST_F(CliServiceRestartTest, ADependentThatWasStoppedStaysStopped) {
    services.stop(standInDependent, std::chrono::seconds(20));
    readAndClearEvents();
    cliJson(L"set 4100 --restart service");
    EXPECT_EQ(readAndClearEvents(), "stop TermService\nstart TermService\n");
    EXPECT_EQ(services.query(standInDependent).state, ServiceState::Stopped);
    expectListenerOn(4100);
}

} // namespace
} // namespace velkora::test
