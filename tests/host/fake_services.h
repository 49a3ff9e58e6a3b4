#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logic/service_restart.h"
#include "platform/platform_error.h"
#include "platform/result_log.h"

namespace velkora::test {

using std::chrono::milliseconds;

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
    std::map<std::wstring, Service> services{{L"TermService", {true, 100, true}}};
    std::vector<std::wstring> dependents; // in stop order
    long configuredPort = 3389;
    std::function<long()> portSource; // where the listener reads its port, if not the above
    long refusedPort = 0;             // the listener starts but does not listen on it
    milliseconds listenDelay{0};      // after a start, until the listener is seen
    bool ownersUnnamed = false;       // the system names no owner (pid 0)
    long otherListenerPort = 0;       // held by another process
    std::set<std::wstring> failing;   // "stop X" / "start X", or with "#N" for the Nth call
    std::vector<std::wstring> log;
    std::optional<PlatformError> dependentsError; // raised when the dependents are listed

    ServiceControlStatus query(const std::wstring& name) override {
        const Service& s = services.at(name);
        ServiceControlStatus status;
        status.state = s.running ? ServiceState::Running : ServiceState::Stopped;
        status.processId = s.running ? s.pid : 0;
        status.acceptsStop = s.running && s.acceptsStop;
        return status;
    }
    std::vector<std::wstring> runningDependents(const std::wstring&) override {
        if (dependentsError) {
            throw *dependentsError;
        }
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
        if (name == L"TermService") {
            const long port = portSource ? portSource() : configuredPort;
            listeningPort_ = port == refusedPort ? 0 : port;
            listeningFrom_ = now_ + listenDelay;
        }
    }

    std::vector<unsigned long> tcpListenerOwners(long port) override {
        std::vector<unsigned long> owners;
        if (port == otherListenerPort) {
            owners.push_back(ownersUnnamed ? 0 : 7);
        }
        if (listens() && port == listeningPort_) {
            owners.push_back(ownersUnnamed ? 0 : services.at(L"TermService").pid);
        }
        return owners;
    }
    std::vector<long> tcpPortsOf(unsigned long pid) override {
        if (listens() && pid == services.at(L"TermService").pid) {
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
    bool listens() const { return services.at(L"TermService").running && now_ >= listeningFrom_; }

    std::map<std::wstring, int> calls_;
    unsigned long nextPid_ = 200;
    long listeningPort_ = 3389;
    milliseconds listeningFrom_{0};
    milliseconds now_{0};
};

class FakeResultLog : public ResultLog {
public:
    std::vector<std::wstring> lines;
    void append(const std::wstring& line) override { lines.push_back(line); }
};

} // namespace velkora::test
