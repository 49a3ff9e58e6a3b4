#pragma once

#include <windows.h>

#include "platform/service_manager.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

// The service control manager of this computer, and the TCP listener table for the ports a
// service's process listens on.
class ScmServiceManager : public ServiceManager {
public:
    ServiceStatus query(const std::wstring& serviceName) override;
    std::vector<std::wstring> runningDependents(const std::wstring& serviceName) override;
    void stop(const std::wstring& serviceName, std::chrono::milliseconds limit) override;
    void start(const std::wstring& serviceName, std::chrono::milliseconds limit) override;
    std::vector<long> tcpListenPorts(unsigned long processId) override;
    std::vector<std::wstring> servicesIn(unsigned long processId) override;
};

// A service of this computer opened with the access asked for; raises the Win32 error (1060
// for a service that does not exist).
UniqueServiceHandle openService(const std::wstring& name, DWORD access);

// Starts the service with the arguments its ServiceMain receives after its name, and waits
// until it runs, for at most the limit; as ScmServiceManager::start.
void startService(const std::wstring& serviceName, const std::vector<std::wstring>& arguments,
                  std::chrono::milliseconds limit);

// Its current status (SERVICE_QUERY_STATUS access).
SERVICE_STATUS_PROCESS queryStatus(SC_HANDLE service);

} // namespace velkora::win32
