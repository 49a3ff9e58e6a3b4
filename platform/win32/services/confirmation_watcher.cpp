#include "platform/win32/services/confirmation_watcher.h"

#include <windows.h>

#include <winsvc.h>
#include <wtsapi32.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/error_record.h"
#include "platform/win32/runtime/unique_handles.h"
#include "platform/win32/runtime/win32_error.h"
#include "platform/win32/services/service_manager.h"
#include "platform/win32/services/watcher_program.h"
#include "platform/win32/session/session_client.h"

namespace velkora::win32 {

const wchar_t confirmationWatcherName[] = L"VelkoraConfirm";

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr wchar_t displayName[] = L"Velkora 端口修改确认";
constexpr wchar_t description[] =
    L"到截止时间仍未确认的远程桌面端口修改，由本服务自动改回原端口。无待确认的修改时自行删除。";
constexpr wchar_t watchProcessArgument[] = L"--watch-process";
constexpr milliseconds serviceLimit = seconds(30);

// Restarted a few seconds after it fails: a watcher that is gone cannot put anything back.
// Not only after a crash: a watcher that ends with an error it caught is restarted too.
void restartOnFailure(SC_HANDLE service) {
    SC_ACTION actions[3] = {
        {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 60000}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = 86400;
    failure.cActions = 3;
    failure.lpsaActions = actions;
    checked(ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure),
            L"ChangeServiceConfig2W", confirmationWatcherName);
    // Every Windows since Vista knows the flag; a service manager that does not (Wine's says
    // ERROR_INVALID_LEVEL) restarts it after a crash only.
    SERVICE_FAILURE_ACTIONS_FLAG onEveryFailure{TRUE};
    if (!ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &onEveryFailure) &&
        GetLastError() != ERROR_INVALID_LEVEL) {
        throwLastError(L"ChangeServiceConfig2W", confirmationWatcherName);
    }
    SERVICE_DESCRIPTIONW text{const_cast<wchar_t*>(description)};
    checked(ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &text),
            L"ChangeServiceConfig2W", confirmationWatcherName);
}

constexpr DWORD watcherAccess =
    SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_CHANGE_CONFIG | DELETE;

// The service, stopped, where one is there already.
UniqueServiceHandle existingWatcher(SC_HANDLE manager) {
    UniqueServiceHandle service(OpenServiceW(manager, confirmationWatcherName, watcherAccess));
    if (!service) {
        if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
            throwLastError(L"OpenServiceW", confirmationWatcherName);
        }
        return service;
    }
    ScmServiceManager().stop(confirmationWatcherName, serviceLimit);
    return service;
}

// Created, or the one there already given this form, running image.
void configureWatcher(SC_HANDLE manager, UniqueServiceHandle service, const std::wstring& image) {
    if (!service) {
        service.reset(checked(
            CreateServiceW(manager, confirmationWatcherName, displayName, watcherAccess,
                           SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                           image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr),
            L"CreateServiceW", confirmationWatcherName));
    } else {
        checked(ChangeServiceConfigW(service.get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                     SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr, nullptr,
                                     L"LocalSystem", nullptr, displayName),
                L"ChangeServiceConfigW", confirmationWatcherName);
    }
    restartOnFailure(service.get());
}

// What the service control manager tells the watcher, handed to its waiting thread.
class Signals final : public WatchSignals {
public:
    Signals()
        : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          look_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        checked(stop_.get(), L"CreateEventW");
        checked(look_.get(), L"CreateEventW");
    }

    void watchProcess(DWORD processId) {
        command_.reset(checked(OpenProcess(SYNCHRONIZE, FALSE, processId), L"OpenProcess",
                               std::to_wstring(processId)));
    }
    void stop() { SetEvent(stop_.get()); }
    void sessionChanged(DWORD event, DWORD sessionId) {
        if (event != WTS_REMOTE_CONNECT && event != WTS_SESSION_LOGON) {
            return;
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        sessions_.push_back({event, sessionId});
        SetEvent(look_.get());
    }

    WatchWake wait(milliseconds limit) override {
        logons_.clear(); // those of an earlier wake that were not asked for
        if (remoteLogonQueued()) {
            return WatchWake::RemoteLogon;
        }
        std::vector<HANDLE> handles{stop_.get(), look_.get()};
        if (command_) {
            handles.push_back(command_.get());
        }
        const DWORD waited =
            WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                                   static_cast<DWORD>(std::max<long long>(limit.count(), 0)));
        if (waited == WAIT_OBJECT_0) {
            return WatchWake::Stop;
        }
        if (waited == WAIT_OBJECT_0 + 2) {
            command_.reset();
            return WatchWake::CommandEnded;
        }
        return remoteLogonQueued() ? WatchWake::RemoteLogon : WatchWake::TimeToLook;
    }

    std::vector<RemoteSessionLogon> remoteLogons() override {
        std::vector<RemoteSessionLogon> logons;
        logons.swap(logons_);
        return logons;
    }

private:
    struct SessionEvent {
        DWORD event;
        DWORD sessionId;
    };

    // Each session that connected or logged on is kept with the WinStation it came in
    // through and its client's address, for the watcher to judge.
    bool remoteLogonQueued() {
        std::vector<SessionEvent> events;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            events.swap(sessions_);
        }
        for (const SessionEvent& e : events) {
            logons_.push_back(sessionLogon(e.sessionId));
        }
        return !logons_.empty();
    }

    UniqueKernelHandle stop_;
    UniqueKernelHandle look_;
    UniqueKernelHandle command_;
    std::mutex mutex_;
    std::vector<SessionEvent> sessions_;
    std::vector<RemoteSessionLogon> logons_; // of the last RemoteLogon wake
};

// The one service of this process, as the service control manager's callbacks find it.
struct Host {
    SERVICE_STATUS_HANDLE status = nullptr;
    Signals* signals = nullptr;
    const std::function<bool(WatchSignals&, bool)>* watch = nullptr;
};
Host host;

void report(DWORD state, DWORD exitCode = NO_ERROR) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING
            ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_SESSIONCHANGE
            : 0;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(host.status, &status);
}

DWORD WINAPI control(DWORD code, DWORD eventType, LPVOID eventData, LPVOID) {
    switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report(SERVICE_STOP_PENDING);
        host.signals->stop();
        return NO_ERROR;
    case SERVICE_CONTROL_SESSIONCHANGE:
        host.signals->sessionChanged(
            eventType, static_cast<const WTSSESSION_NOTIFICATION*>(eventData)->dwSessionId);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

// Marked for deletion while it runs; the service control manager removes it once it has
// stopped.
void removeOwnService() {
    const UniqueServiceHandle service = openService(confirmationWatcherName, DELETE);
    checked(DeleteService(service.get()), L"DeleteService", confirmationWatcherName);
}

void WINAPI serviceMain(DWORD argc, LPWSTR* argv) {
    host.status = RegisterServiceCtrlHandlerExW(confirmationWatcherName, control, nullptr);
    if (host.status == nullptr) {
        return;
    }
    DWORD exitCode = NO_ERROR;
    try {
        Signals signals;
        host.signals = &signals;
        // The command's process is opened before the command learns that the watcher runs:
        // it is still there, and no other process can have taken its id.
        const bool startedWithCommand = argc == 3 && std::wstring(argv[1]) == watchProcessArgument;
        if (startedWithCommand) {
            signals.watchProcess(std::wcstoul(argv[2], nullptr, 10));
        }
        report(SERVICE_RUNNING);
        if ((*host.watch)(signals, startedWithCommand)) {
            removeOwnService();
        }
    } catch (const PlatformError& failure) {
        exitCode = static_cast<DWORD>(failure.number());
    } catch (...) {
        exitCode = ERROR_INTERNAL_ERROR;
    }
    report(SERVICE_STOPPED, exitCode);
}

// After a failure of its own, the service goes too; that failure is the one told, and a
// watcher left behind finds nothing pending and removes itself.
void removeAfterFailure(ConfirmationWatcher& watcher) noexcept {
    try {
        watcher.remove();
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
    }
}

} // namespace

// The service runs the protected copy of this program, never the file it was started from. A
// service that cannot be given that form is removed again.
void ScmConfirmationWatcher::install() {
    const UniqueServiceHandle manager(
        checked(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE),
                L"OpenSCManagerW"));
    UniqueServiceHandle existing = existingWatcher(manager.get());
    const std::wstring image = L"\"" + copyProgramForWatcher() + L"\" watch";
    try {
        configureWatcher(manager.get(), std::move(existing), image);
    } catch (const PlatformError&) {
        removeAfterFailure(*this);
        throw;
    }
}

// A watcher that does not start is not left installed, automatic, as LocalSystem.
void ScmConfirmationWatcher::startWatchingThisProcess() {
    try {
        startService(confirmationWatcherName,
                     {watchProcessArgument, std::to_wstring(GetCurrentProcessId())}, serviceLimit);
    } catch (const PlatformError&) {
        removeAfterFailure(*this);
        throw;
    }
}

void ScmConfirmationWatcher::remove() {
    try {
        ScmServiceManager().stop(confirmationWatcherName, serviceLimit);
        removeOwnService();
    } catch (const PlatformError& failure) {
        if (failure.number() != ERROR_SERVICE_DOES_NOT_EXIST &&
            failure.number() != ERROR_SERVICE_MARKED_FOR_DELETE) {
            throw;
        }
    }
    removeWatcherProgram();
}

int runConfirmationWatcherService(
    const std::function<bool(WatchSignals& signals, bool startedWithCommand)>& watch) {
    host.watch = &watch;
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(confirmationWatcherName), serviceMain},
                                    {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}

} // namespace velkora::win32
