#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "logic/service_restart.h"

namespace velkora {
namespace {

using std::chrono::milliseconds;

const std::wstring listener = L"TermService";

// A service control manager with a listener service that, like the real one, listens on
// the configured port once it has started; with its listener table and a clock that only
// moves when someone waits.
class FakeServices : public ServiceManager, public ListenerTable, public WaitClock {
public:
    struct Service {
        bool running = true;
        unsigned long pid = 0;
        bool acceptsStop = true;
    };
    std::map<std::wstring, Service> services{{listener, {true, 100, true}}};
    std::vector<std::wstring> dependents; // in stop order
    long configuredPort = 3389;
    long refusedPort = 0;           // the listener starts but does not listen on it
    milliseconds listenDelay{0};    // after a start, until the listener is seen
    bool ownersUnnamed = false;     // the system names no owner (pid 0)
    long otherListenerPort = 0;     // held by another process
    std::set<std::wstring> failing; // "stop X" / "start X", or with "#N" for the Nth call
    std::vector<std::wstring> log;

    ServiceControlStatus query(const std::wstring& name) override {
        const Service& s = services.at(name);
        ServiceControlStatus status;
        status.state = s.running ? ServiceRunState::Running : ServiceRunState::Stopped;
        status.processId = s.running ? s.pid : 0;
        status.acceptsStop = s.running && s.acceptsStop;
        return status;
    }
    std::vector<std::wstring> runningDependents(const std::wstring&) override {
        std::vector<std::wstring> running;
        for (const std::wstring& d : dependents) {
            if (services.at(d).running) {
                running.push_back(d);
            }
        }
        return running;
    }
    void stop(const std::wstring& name, milliseconds) override {
        call(L"stop " + name);
        services.at(name).running = false;
    }
    void start(const std::wstring& name, milliseconds) override {
        call(L"start " + name);
        Service& s = services.at(name);
        s.running = true;
        s.pid = nextPid_++;
        if (name == listener) {
            listeningPort_ = configuredPort == refusedPort ? 0 : configuredPort;
            listeningFrom_ = now_ + listenDelay;
        }
    }

    std::vector<unsigned long> tcpListenerOwners(long port) override {
        std::vector<unsigned long> owners;
        if (port == otherListenerPort) {
            owners.push_back(ownersUnnamed ? 0 : 7);
        }
        if (listens() && port == listeningPort_) {
            owners.push_back(ownersUnnamed ? 0 : services.at(listener).pid);
        }
        return owners;
    }
    std::vector<long> tcpPortsOf(unsigned long pid) override {
        if (listens() && pid == services.at(listener).pid) {
            return {listeningPort_};
        }
        return {};
    }

    milliseconds now() override { return now_; }
    void sleepFor(milliseconds d) override { now_ += d; }

private:
    void call(const std::wstring& operation) {
        log.push_back(operation);
        const int n = ++calls_[operation];
        if (failing.count(operation) || failing.count(operation + L"#" + std::to_wstring(n))) {
            throw PlatformError(1053, L"服务没有及时响应启动或控制请求。");
        }
    }
    bool listens() const { return services.at(listener).running && now_ >= listeningFrom_; }

    std::map<std::wstring, int> calls_;
    unsigned long nextPid_ = 200;
    long listeningPort_ = 3389;
    milliseconds listeningFrom_{0};
    milliseconds now_{0};
};

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
    {"StopFailsRollsBack", [](FakeServices& f) { f.failing = {L"stop TermService#1"}; }, false,
     join({{L"write", L"stop UmRdpService", L"stop TermService", L"undo"}, cycle}), 0,
     RestartResult::RolledBack, 1053, 0, 3389, milliseconds(0)},
    {"StartFailsRollsBack", [](FakeServices& f) { f.failing = {L"start TermService#1"}; }, false,
     join({{L"write", L"stop UmRdpService", L"stop TermService", L"start TermService", L"undo"},
           cycle}),
     0, RestartResult::RolledBack, 1053, 0, 3389, milliseconds(0)},
    {"RestartingAgainFailsToo", [](FakeServices& f) { f.failing = {L"start TermService"}; }, false,
     join({{L"write", L"stop UmRdpService", L"stop TermService", L"start TermService", L"undo",
            L"stop UmRdpService", L"stop TermService", L"start TermService"}}),
     0, RestartResult::RollbackFailed, 1053, 1053, 0, milliseconds(0)},
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
    FakeServices fake;
    fake.services[L"UmRdpService"] = {true, 101, true};
    fake.dependents = {L"UmRdpService"};
    c.arrange(fake);

    ServiceRestartRequest request{listener, 4100, 3389, {}};
    request.limits.verify = milliseconds(10000);
    const auto applyChange = [&]() -> std::function<void()> {
        fake.log.push_back(L"write");
        fake.configuredPort = 4100;
        return [&]() {
            fake.log.push_back(L"undo");
            if (c.undoFails) {
                throw PlatformError(5, L"拒绝访问。");
            }
            fake.configuredPort = 3389;
        };
    };

    long thrown = 0;
    ServiceRestartOutcome outcome;
    try {
        outcome = applyWithServiceRestart(fake, fake, fake, request, applyChange);
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

INSTANTIATE_TEST_SUITE_P(Cases, ServiceRestartTest, testing::ValuesIn(restartCases),
                         [](const testing::TestParamInfo<RestartCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
} // namespace velkora
