#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/host/fake_services.h"
#include "logic/service_restart.h"

namespace velkora::test {
namespace {
using std::chrono::milliseconds;

const std::wstring listener = L"TermService";

struct RestartCase {
    const char* name;
    std::function<void(FakeServices&)> arrange;
    bool undoFails;
    std::vector<std::wstring> log; // service operations and the change's write and undo
    long thrown;                   // the error raised before anything is written; 0: none
    RestartResult result;
    long error;           // the failure that made the new port be given up; 0: none
    long rollbackError;   // 0: none
    long listeningAtEnd;  // the port the listener holds at the end; 0: none
    milliseconds elapsed; // until verified or given up
};

const std::vector<std::wstring> cycle{L"stop UmRdpService", L"stop TermService",
                                      L"start TermService", L"start UmRdpService"};

std::vector<std::wstring> join(std::vector<std::vector<std::wstring>> parts) {
    std::vector<std::wstring> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const RestartCase restartCases[] = {
    {"Verified", [](FakeServices&) {}, false, join({{L"write"}, cycle}), 0, RestartResult::Verified,
     0, 0, 4100, milliseconds(0)},
    {"VerifiedWhenTheListenerComesLateAndOwnersAreUnnamed",
     [](FakeServices& f) {
         f.listenDelay = milliseconds(3000);
         f.ownersUnnamed = true;
     },
     false, join({{L"write"}, cycle}), 0, RestartResult::Verified, 0, 0, 4100, milliseconds(3000)},
    {"NotListeningOnTheNewPortRollsBack", [](FakeServices& f) { f.refusedPort = 4100; }, false,
     join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RolledBack, 0, 0, 3389,
     milliseconds(10000)},
    {"AnotherProgramOnTheNewPortIsNotTheService",
     [](FakeServices& f) {
         f.refusedPort = 4100;
         f.otherListenerPort = 4100;
     },
     false, join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RolledBack, 0, 0, 3389,
     milliseconds(10000)},
    {"AnUnnamedListenerThereBeforeTheStartIsNotTheService",
     [](FakeServices& f) {
         f.refusedPort = 4100;
         f.otherListenerPort = 4100;
         f.ownersUnnamed = true;
     },
     false, join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RolledBack, 0, 0, 3389,
     milliseconds(10000)},
    // Whatever fails once something was stopped, everything stopped is started again.
    {"StopFailsRollsBack", [](FakeServices& f) { f.failing = {L"stop TermService#1"}; }, false,
     join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RolledBack, 1053, 0, 3389,
     milliseconds(0)},
    {"StartFailsRollsBack", [](FakeServices& f) { f.failing = {L"start TermService#1"}; }, false,
     join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RolledBack, 1053, 0, 3389,
     milliseconds(0)},
    {"RestartingAgainFailsToo", [](FakeServices& f) { f.failing = {L"start TermService"}; }, false,
     join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RollbackFailed, 1053, 1053, 0,
     milliseconds(0)},
    {"ADependentThatWillNotStopLeavesTheServiceListeningWhereItWas",
     [](FakeServices& f) { f.failing = {L"stop UmRdpService"}; },
     false,
     {L"write", L"stop UmRdpService", L"start UmRdpService", L"undo"},
     0,
     RestartResult::RolledBack,
     1053,
     0,
     3389,
     milliseconds(0)},
    {"AnUnreadableOwnerTableBetweenStopAndStartStopsNothingHalfWay",
     [](FakeServices& f) { f.ownersFailures = 1; }, false, join({{L"write"}, cycle}), 0,
     RestartResult::Verified, 0, 0, 4100, milliseconds(0)},
    {"ADependentNotAcceptingStopWritesNothing",
     [](FakeServices& f) { f.services[L"UmRdpService"].acceptsStop = false; },
     false,
     {},
     1052,
     RestartResult::Verified,
     0,
     0,
     3389,
     milliseconds(0)},
    {"DependentsCannotBeListedNothingIsStopped",
     [](FakeServices& f) { f.dependentsError = PlatformError(5, L"拒绝访问。"); },
     false,
     {L"write", L"undo"},
     0,
     RestartResult::RolledBack,
     5,
     0,
     3389,
     milliseconds(0)},
    {"UndoFailsButTheServiceIsBroughtUpAgain", [](FakeServices& f) { f.refusedPort = 4100; }, true,
     join({{L"write"}, cycle, {L"undo"}, cycle}), 0, RestartResult::RollbackFailed, 0, 5, 0,
     milliseconds(10000)},
    {"AStoppedDependentStaysStopped",
     [](FakeServices& f) {
         f.services[L"SessionEnv"] = {false, 0, true};
         f.dependents = {L"SessionEnv", L"UmRdpService"};
     },
     false, join({{L"write"}, cycle}), 0, RestartResult::Verified, 0, 0, 4100, milliseconds(0)},
    {"DependentsStopInTheSystemsOrderAndStartInReverse",
     [](FakeServices& f) {
         f.services[L"SessionEnv"] = {true, 301, true};
         f.dependents = {L"SessionEnv", L"UmRdpService"};
     },
     false,
     {L"write", L"stop SessionEnv", L"stop UmRdpService", L"stop TermService", L"start TermService",
      L"start UmRdpService", L"start SessionEnv"},
     0,
     RestartResult::Verified,
     0,
     0,
     4100,
     milliseconds(0)},
    {"NotAcceptingStopWritesNothing",
     [](FakeServices& f) { f.services[listener].acceptsStop = false; },
     false,
     {},
     1052,
     RestartResult::Verified,
     0,
     0,
     3389,
     milliseconds(0)},
    {"NotRunningWritesNothing",
     [](FakeServices& f) { f.services[listener].running = false; },
     false,
     {},
     1062,
     RestartResult::Verified,
     0,
     0,
     0,
     milliseconds(0)},
};

void PrintTo(const RestartCase& c, std::ostream* os) {
    *os << c.name;
}

class ServiceRestartTest : public testing::TestWithParam<RestartCase> {};

TEST_P(ServiceRestartTest, OperationsAndDecisions) {
    const RestartCase& c = GetParam();
    FakeClock clock;
    FakeServices fake(clock);
    fake.services[L"UmRdpService"] = {true, 101, true};
    fake.dependents = {L"UmRdpService"};
    c.arrange(fake);

    ServiceRestartRequest request{listener, 4100, 3389, {}};
    request.limits.verify = milliseconds(10000);
    const auto undoChange = [&] {
        fake.log.push_back(L"undo");
        if (c.undoFails) {
            throw PlatformError(5, L"拒绝访问。");
        }
        fake.configuredPort = 3389;
    };

    long thrown = 0;
    ServiceRestartOutcome outcome;
    try {
        checkServiceCanRestart(fake, listener);
        fake.log.push_back(L"write");
        fake.configuredPort = 4100;
        outcome = restartServiceAndVerify(fake, fake, clock, request, undoChange);
    } catch (const PlatformError& e) {
        thrown = e.number();
    }

    EXPECT_EQ(fake.log, c.log);
    EXPECT_EQ(thrown, c.thrown);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.error ? outcome.error->number() : 0, c.error);
    EXPECT_EQ(outcome.rollbackError ? outcome.rollbackError->number() : 0, c.rollbackError);
    const std::vector<long> listening = fake.tcpPortsOf(fake.services[listener].pid);
    EXPECT_EQ(listening.empty() ? 0 : listening.front(), c.listeningAtEnd);
    EXPECT_EQ(outcome.elapsed, c.elapsed);
    if (outcome.result == RestartResult::Verified) {
        EXPECT_FALSE(outcome.whenGivenUp.has_value());
    } else {
        ASSERT_TRUE(outcome.whenGivenUp.has_value());
        ASSERT_TRUE(outcome.atEnd.has_value());
        EXPECT_EQ(outcome.atEnd->tcpPorts, listening);
    }
}

// In a process the listener shares with other services, its other ports may be theirs: they
// say nothing about whether the listener has taken up the port.
TEST(WhereServiceListens, CountsNoOtherPortOfASharedProcess) {
    FakeClock clock;
    FakeServices fake(clock);
    EXPECT_EQ(whereServiceListens(fake, fake, listener, 3390), ServiceListener::Elsewhere);
    fake.coHosted[100] = {L"SessionEnv"};
    EXPECT_EQ(whereServiceListens(fake, fake, listener, 3390), ServiceListener::Unseen);
    EXPECT_EQ(whereServiceListens(fake, fake, listener, 3389), ServiceListener::OnPort);
}

// Values already in place: there is nothing to put back, but a failed start is tried once more
// rather than leaving Remote Desktop down.
TEST(ServiceRestartForValuesInPlace, StartsTheServiceOnceMoreAfterAFailedStart) {
    FakeClock clock;
    FakeServices fake(clock);
    fake.failing = {L"start TermService#1"};
    const ServiceRestartRequest request{listener, 3389, 3389, {}};

    const ServiceRestartOutcome outcome =
        restartServiceForValuesInPlace(fake, fake, clock, request);

    EXPECT_EQ(fake.log, (std::vector<std::wstring>{L"stop TermService", L"start TermService",
                                                   L"start TermService"}));
    EXPECT_EQ(outcome.result, RestartResult::NotVerified);
    EXPECT_EQ(outcome.error ? outcome.error->number() : 0, 1053);
    EXPECT_TRUE(fake.services[listener].running);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServiceRestartTest, testing::ValuesIn(restartCases),
                         [](const testing::TestParamInfo<RestartCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace velkora::test
