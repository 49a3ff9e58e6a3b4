#pragma once

#include "platform/service_manager.h"
#include "platform/wait_clock.h"

namespace velkora::win32 {

// The service control manager of this computer.
class ScmServiceManager : public ServiceManager {
public:
    ServiceControlStatus query(const std::wstring& serviceName) override;
    std::vector<std::wstring> runningDependents(const std::wstring& serviceName) override;
    void stop(const std::wstring& serviceName, std::chrono::milliseconds limit) override;
    void start(const std::wstring& serviceName, std::chrono::milliseconds limit) override;
};

// GetTickCount64 and Sleep.
class SystemWaitClock : public WaitClock {
public:
    std::chrono::milliseconds now() override;
    void sleepFor(std::chrono::milliseconds duration) override;
};

} // namespace velkora::win32
