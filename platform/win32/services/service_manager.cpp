#include "platform/win32/services/service_manager.h"

#include <winsvc.h>

#include <algorithm>
#include <cstdint>

#include "platform/win32/network/owner_tables.h"
#include "platform/win32/network/process_names.h"
#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

using std::chrono::milliseconds;

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
            throwWin32(ErrorNumber::ServiceRequestTimeout);
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

// The running services that depend on the service, as the system lists them: in the
// reverse of their start order, which is the order to stop them.
std::vector<std::wstring> listedDependents(SC_HANDLE manager, const std::wstring& name) {
    const UniqueServiceHandle service(checked(
        OpenServiceW(manager, name.c_str(), SERVICE_ENUMERATE_DEPENDENTS), L"OpenServiceW", name));
    std::vector<std::uint8_t> buffer(4096);
    DWORD needed = 0;
    DWORD count = 0;
    while (!EnumDependentServicesW(service.get(), SERVICE_ACTIVE,
                                   reinterpret_cast<ENUM_SERVICE_STATUSW*>(buffer.data()),
                                   static_cast<DWORD>(buffer.size()), &needed, &count)) {
        if (GetLastError() != ERROR_MORE_DATA) {
            throwLastError(L"EnumDependentServicesW", name);
        }
        buffer.resize(needed);
    }
    const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUSW*>(buffer.data());
    std::vector<std::wstring> names;
    for (DWORD i = 0; i < count; ++i) {
        names.emplace_back(entries[i].lpServiceName);
    }
    return names;
}

std::vector<std::wstring> activeServices(SC_HANDLE manager) {
    std::vector<std::uint8_t> buffer(64 * 1024);
    DWORD needed = 0;
    DWORD count = 0;
    DWORD resume = 0;
    std::vector<std::wstring> names;
    for (;;) {
        const BOOL done = EnumServicesStatusExW(
            manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_ACTIVE, buffer.data(),
            static_cast<DWORD>(buffer.size()), &needed, &count, &resume, nullptr);
        if (!done && GetLastError() != ERROR_MORE_DATA) {
            throwLastError(L"EnumServicesStatusExW");
        }
        const auto* entries = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSW*>(buffer.data());
        for (DWORD i = 0; i < count; ++i) {
            names.emplace_back(entries[i].lpServiceName);
        }
        if (done) {
            return names;
        }
        buffer.resize(std::max<std::size_t>(buffer.size(), needed));
    }
}

// The services the service is configured to depend on, from its key in the service
// control manager's database.
std::vector<std::wstring> dependenciesOf(const std::wstring& name) {
    const std::wstring key = L"SYSTEM\\CurrentControlSet\\Services\\" + name;
    DWORD size = 0;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ,
                     nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<wchar_t> list(size / sizeof(wchar_t) + 2, L'\0');
    size = static_cast<DWORD>(list.size() * sizeof(wchar_t));
    if (RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"DependOnService", RRF_RT_REG_MULTI_SZ,
                     nullptr, list.data(), &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<std::wstring> dependencies;
    for (const wchar_t* d = list.data(); *d != L'\0'; d += wcslen(d) + 1) {
        dependencies.emplace_back(d);
    }
    return dependencies;
}

bool sameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The running services that depend on the service directly or through others, from their
// configured dependencies; each placed before every service it depends on.
std::vector<std::wstring> configuredDependents(SC_HANDLE manager, const std::wstring& name) {
    using Entry = std::pair<std::wstring, std::vector<std::wstring>>;
    std::vector<Entry> running;
    for (const std::wstring& service : activeServices(manager)) {
        running.emplace_back(service, dependenciesOf(service));
    }
    const auto contains = [](const std::vector<std::wstring>& names, const std::wstring& n) {
        return std::any_of(names.begin(), names.end(),
                           [&](const std::wstring& other) { return sameName(other, n); });
    };
    const auto dependsOn = [&](const Entry& entry, const std::wstring& other) {
        return contains(entry.second, other);
    };
    std::vector<const Entry*> dependents;
    std::vector<std::wstring> reached{name};
    for (std::size_t i = 0; i < reached.size(); ++i) {
        for (const Entry& entry : running) {
            if (!contains(reached, entry.first) && dependsOn(entry, reached[i])) {
                reached.push_back(entry.first);
                dependents.push_back(&entry);
            }
        }
    }
    // Stop order: each service once nothing left to stop depends on it.
    std::vector<std::wstring> order;
    while (!dependents.empty()) {
        const auto free = std::find_if(dependents.begin(), dependents.end(), [&](const Entry* e) {
            return std::none_of(dependents.begin(), dependents.end(),
                                [&](const Entry* other) { return dependsOn(*other, e->first); });
        });
        const auto next = free != dependents.end() ? free : dependents.begin(); // a cycle
        order.push_back((*next)->first);
        dependents.erase(next);
    }
    return order;
}

} // namespace

UniqueServiceHandle openService(const std::wstring& name, DWORD access) {
    const UniqueServiceHandle manager(
        checked(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT), L"OpenSCManagerW"));
    return UniqueServiceHandle(
        checked(OpenServiceW(manager.get(), name.c_str(), access), L"OpenServiceW", name));
}

SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service) {
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    checked(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof status, &needed),
            L"QueryServiceStatusEx");
    return status;
}

ServiceStatus ScmServiceManager::query(const std::wstring& serviceName) {
    const UniqueServiceHandle service = openService(serviceName, SERVICE_QUERY_STATUS);
    const SERVICE_STATUS_PROCESS status = queryStatus(service.get());
    if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED) {
        throwWin32(ErrorNumber::InvalidData);
    }
    ServiceStatus result;
    result.state = static_cast<ServiceState>(status.dwCurrentState);
    result.processId = status.dwProcessId;
    result.acceptsStop = (status.dwControlsAccepted & SERVICE_ACCEPT_STOP) != 0;
    result.exitCode = status.dwWin32ExitCode;
    return result;
}

std::vector<std::wstring> ScmServiceManager::runningDependents(const std::wstring& serviceName) {
    const UniqueServiceHandle manager(
        checked(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_ENUMERATE_SERVICE),
                L"OpenSCManagerW"));
    std::vector<std::wstring> names = listedDependents(manager.get(), serviceName);
    if (names.empty()) {
        // Wine answers the list above, and the dependencies in a service's configuration,
        // with nothing: read the running services' dependencies from their keys instead.
        names = configuredDependents(manager.get(), serviceName);
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
        checked(ControlService(service.get(), SERVICE_CONTROL_STOP, &plain), L"ControlService",
                serviceName);
    }
    status = waitWhile(service.get(), SERVICE_STOP_PENDING, limit);
    if (status.dwCurrentState != SERVICE_STOPPED) {
        throwWin32(ErrorNumber::ServiceRequestTimeout);
    }
}

void ScmServiceManager::start(const std::wstring& serviceName, milliseconds limit) {
    startService(serviceName, {}, limit);
}

void startService(const std::wstring& serviceName, const std::vector<std::wstring>& arguments,
                  milliseconds limit) {
    const UniqueServiceHandle service =
        openService(serviceName, SERVICE_START | SERVICE_QUERY_STATUS);
    std::vector<const wchar_t*> argv;
    for (const std::wstring& argument : arguments) {
        argv.push_back(argument.c_str());
    }
    if (!StartServiceW(service.get(), static_cast<DWORD>(argv.size()),
                       argv.empty() ? nullptr : argv.data()) &&
        GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        throwLastError(L"StartServiceW", serviceName);
    }
    const SERVICE_STATUS_PROCESS status = waitWhile(service.get(), SERVICE_START_PENDING, limit);
    if (status.dwCurrentState == SERVICE_RUNNING) {
        return;
    }
    if (status.dwCurrentState == SERVICE_STOPPED) {
        throwWin32(status.dwWin32ExitCode != NO_ERROR ? status.dwWin32ExitCode
                                                      : ErrorNumber::ServiceNotActive,
                   L"StartServiceW", serviceName);
    }
    throwWin32(ErrorNumber::ServiceRequestTimeout);
}

std::vector<std::wstring> ScmServiceManager::servicesIn(unsigned long processId) {
    const auto services = servicesByProcess();
    const auto found = services.find(processId);
    return found == services.end() ? std::vector<std::wstring>{} : found->second;
}

std::vector<long> ScmServiceManager::tcpListenPorts(unsigned long processId) {
    std::vector<long> ports;
    for (const OwnedPort& listener : tcpListeners()) {
        if (listener.pid == processId) {
            ports.push_back(listener.port);
        }
    }
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    return ports;
}

} // namespace velkora::win32
