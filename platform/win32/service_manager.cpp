#include "platform/win32/service_manager.h"

#include <windows.h>
#include <winsvc.h>

#include <algorithm>
#include <cstdint>

#include "platform/win32/unique_handles.h"
#include "platform/win32/win32_error.h"

namespace velkora::win32 {
namespace {

using std::chrono::milliseconds;

UniqueServiceHandle openService(const std::wstring& name, DWORD access) {
    const UniqueServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        throwLastError();
    }
    UniqueServiceHandle service(OpenServiceW(manager.get(), name.c_str(), access));
    if (!service) {
        throwLastError();
    }
    return service;
}

SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                              sizeof status, &needed)) {
        throwLastError();
    }
    return status;
}

// Polls while the service is in the pending state, as its wait hint suggests (a tenth of
// it, between 0.1 and 1 s). Gives up when the limit has passed, or when the service has
// not advanced its check point for longer than its wait hint.
SERVICE_STATUS_PROCESS waitWhile(SC_HANDLE service, DWORD pendingState, milliseconds limit) {
    const ULONGLONG started = GetTickCount64();
    SERVICE_STATUS_PROCESS status = queryStatus(service);
    ULONGLONG lastProgress = started;
    DWORD lastCheckPoint = status.dwCheckPoint;
    while (status.dwCurrentState == pendingState) {
        const ULONGLONG now = GetTickCount64();
        const bool stalled = status.dwWaitHint != 0 && now - lastProgress > status.dwWaitHint &&
                             status.dwCheckPoint == lastCheckPoint;
        if (now - started > static_cast<ULONGLONG>(limit.count()) || stalled) {
            throwWin32(ERROR_SERVICE_REQUEST_TIMEOUT);
        }
        Sleep(std::clamp<DWORD>(status.dwWaitHint / 10, 100, 1000));
        status = queryStatus(service);
        if (status.dwCheckPoint != lastCheckPoint) {
            lastCheckPoint = status.dwCheckPoint;
            lastProgress = GetTickCount64();
        }
    }
    return status;
}

} // namespace

ServiceControlStatus ScmServiceManager::query(const std::wstring& serviceName) {
    const UniqueServiceHandle service = openService(serviceName, SERVICE_QUERY_STATUS);
    const SERVICE_STATUS_PROCESS status = queryStatus(service.get());
    if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED) {
        throwWin32(ERROR_INVALID_DATA);
    }
    ServiceControlStatus result;
    result.state = static_cast<ServiceRunState>(status.dwCurrentState);
    result.processId = status.dwProcessId;
    result.acceptsStop = (status.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0;
    result.exitCode = status.dwWin32ExitCode;
    return result;
}

std::vector<std::wstring> ScmServiceManager::runningDependents(const std::wstring& serviceName) {
    const UniqueServiceHandle service = openService(serviceName, SERVICE_ENUMERATE_DEPENDENTS);
    std::vector<std::uint8_t> buffer(4096);
    DWORD needed = 0;
    DWORD count = 0;
    while (!EnumDependentServicesW(service.get(), SERVICE_ACTIVE,
                                   reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()),
                                   static_cast<DWORD>(buffer.size()), &needed, &count)) {
        if (GetLastError() != ERROR_MORE_DATA) {
            throwLastError();
        }
        buffer.resize(needed);
    }
    // The system lists them in the reverse of their start order: the order to stop them.
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(entries[i].lpServiceName);
    }
    return names;
}

void ScmServiceManager::stop(const std::wstring& serviceName, milliseconds limit) {
    const UniqueServiceHandle service =
        openService(serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status = queryStatus(service.get());
    if (status.dwCurrentState == SERVICE_STOPPED) {
        return;
    }
    if (status.dwCurrentState != SERVICE_STOP_PENDING) {
        SERVICE_STATUS plain{};
        if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &plain)) {
            throwLastError();
        }
    }
    status = waitWhile(service.get(), SERVICE_STOP_PENDING, limit);
    if (status.dwCurrentState != SERVICE_STOPPED) {
        throwWin32(ERROR_SERVICE_REQUEST_TIMEOUT);
    }
}

void ScmServiceManager::start(const std::wstring& serviceName, milliseconds limit) {
    const UniqueServiceHandle service =
        openService(serviceName, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!StartServiceW(service.get(), 0, nullptr) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        throwLastError();
    }
    const SERVICE_STATUS_PROCESS status = waitWhile(service.get(), SERVICE_START_PENDING, limit);
    if (status.dwCurrentState == SERVICE_RUNNING) {
        return;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        throwWin32(status.dwWin32ExitCode != NO_ERROR ? status.dwWin32ExitCode
                                                      : ERROR_SERVICE_NOT_ACTIVE);
    }
    throwWin32(ERROR_SERVICE_REQUEST_TIMEOUT);
}

milliseconds SystemWaitClock::now() {
    return milliseconds(GetTickCount64());
}

void SystemWaitClock::sleepFor(milliseconds duration) {
    Sleep(static_cast<DWORD>(duration.count()));
}

} // namespace velkora::win32
