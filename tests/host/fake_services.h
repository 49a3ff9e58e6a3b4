#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "logic/service_restart.h"
#include "platform/clock.h"
#include "platform/platform_error.h"
#include "platform/result_log.h"

namespace velkora::test {

using std::chrono::milliseconds;

// Hands out the dates in turn, the last one again once they run out; its time only moves
// when someone waits.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::vector<Date> dates = {{2026, 1, 5}}) : dates_(std::move(dates)) {}
    Date today() override {
        const std::size_t index = std::min<std::size_t>(readings_, dates_.size() - 1);
        ++readings_;
        return dates_[index];
    }
    int readings() const { return readings_; }
    milliseconds now() override { return now_; }
    void sleepFor(milliseconds d) override { now_ += d; }
    // 2026-12-07T12:00:00Z, moving with the waits and with a change of the system time.
    std::int64_t utcSeconds() override { return 1796644800 + now_.count() / 1000 + wallShift; }
    std::int64_t wallShift = 0; // seconds

private:
    std::vector<Date> dates_;
    int readings_ = 0;
    milliseconds now_{0};
};

// A service control manager with a listener service that, like the real one, listens on
// the configured port once it has started; with its listener table, on the clock given.
class FakeServices : public ServiceManager, public ListenerTable {
public:
    explicit FakeServices(Clock& clock) : clock_(clock) {}

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
    int ownersFailures = 0;           // the owner table cannot be read this many times
    std::set<std::wstring> failing;   // "stop X" / "start X", or with "#N" for the Nth call
    std::vector<std::wstring> log;
    std::optional<PlatformError> dependentsError;         // raised when the dependents are listed
    std::map<std::wstring, ServiceState> reportedStates;  // other than running or stopped
    std::map<unsigned long, std::vector<long>> listeners; // ports of other processes
    std::map<unsigned long, std::vector<std::wstring>> coHosted; // other services in a process
    bool listenerSeen = true; // the listener's own port is in the table; else only the above
    std::optional<PlatformError> queryError, listenersError;

    ServiceStatus query(const std::wstring& name) override {
        if (queryError) {
            throw *queryError;
        }
        const auto found = services.find(name);
        if (found == services.end()) {
            throw PlatformError(1060, L"指定的服务未安装。");
        }
        const Service& s = found->second;
        ServiceStatus status;
        const auto reported = reportedStates.find(name);
        status.state = reported != reportedStates.end() ? reported->second
                       : s.running                      ? ServiceState::Running
                                                        : ServiceState::Stopped;
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
            listeningFrom_ = clock_.now() + listenDelay;
        }
    }

    std::vector<unsigned long> tcpListenerOwners(long port) override {
        if (ownersFailures > 0) {
            --ownersFailures;
            throw PlatformError(1, L"函数不正确。");
        }
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
        if (listenersError) {
            throw *listenersError;
        }
        const auto found = listeners.find(pid);
        if (found != listeners.end()) {
            return found->second;
        }
        if (listenerSeen && listens() && pid == services.at(L"TermService").pid) {
            return {listeningPort_};
        }
        return {};
    }
    std::vector<long> tcpListenPorts(unsigned long pid) override { return tcpPortsOf(pid); }
    std::vector<std::wstring> servicesIn(unsigned long pid) override {
        std::vector<std::wstring> names;
        for (const auto& [name, service] : services) {
            if (service.running && service.pid == pid) {
                names.push_back(name);
            }
        }
        const auto shared = coHosted.find(pid);
        if (shared != coHosted.end()) {
            names.insert(names.end(), shared->second.begin(), shared->second.end());
        }
        return names;
    }

private:
    void call(const std::wstring& operation) {
        log.push_back(operation);
        const int n = ++calls_[operation];
        if (failing.count(operation) || failing.count(operation + L"#" + std::to_wstring(n))) {
            throw PlatformError(1053, L"服务没有及时响应启动或控制请求。");
        }
    }
    bool listens() const {
        return services.at(L"TermService").running && clock_.now() >= listeningFrom_;
    }

    std::map<std::wstring, int> calls_;
    unsigned long nextPid_ = 200;
    long listeningPort_ = 3389;
    milliseconds listeningFrom_{0};
    Clock& clock_;
};

class FakeResultLog : public ResultLog {
public:
    std::vector<std::wstring> lines;
    void append(const std::wstring& line) override { lines.push_back(line); }
};

class FakeJournal : public ChangeJournal {
public:
    std::optional<std::string> text;
    std::optional<std::string> read() override { return text; }
    void write(const std::string& t) override {
        text = t;
        ++writes;
    }
    void remove() override { text.reset(); }
    int writes = 0;
};

class FakeWatcher : public ConfirmationWatcher {
public:
    void install() override {
        if (installError) {
            throw *installError;
        }
        installed = true;
    }
    void startWatchingThisProcess() override {
        if (startError) {
            throw *startError;
        }
        running = true;
        ++starts;
    }
    void remove() override { running = installed = false; }
    bool installed = false;
    bool running = false;
    int starts = 0;
    std::optional<PlatformError> installError;
    std::optional<PlatformError> startError;
};

} // namespace velkora::test
