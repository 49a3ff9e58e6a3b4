#include "platform/win32/win32_platform.h"

#include "platform/win32/change_lock.h"
#include "platform/win32/document_opener.h"
#include "platform/win32/firewall.h"
#include "platform/win32/launcher.h"
#include "platform/win32/message_box.h"
#include "platform/win32/port_probe.h"
#include "platform/win32/registry_shell_object.h"
#include "platform/win32/result_log.h"
#include "platform/win32/runtime.h"
#include "platform/win32/service_manager.h"
#include "platform/win32/service_monitor.h"

namespace velkora::win32 {

struct Win32Platform::Services {
    RegistryShellObjectFactory shell;
    SystemMessageBox messages;
    ProcessLauncher launcher;
    ShellDocumentOpener documents;
    LocalClock clock;
    ModuleProgramFolder folder;
    ProcessProgramEnd end;
    MessageBoxErrorReport errors{messages, end};
    NetFwFirewall firewall;
    SystemPortProbe ports;
    NamedMutexChangeLock changeLock;
    SystemServiceMonitor serviceMonitor;
    ScmServiceManager services;
    SystemWaitClock waitClock;
    ProgramDataResultLog resultLog;
    Platform bundle{shell,    messages,  launcher, documents, clock,      folder,
                    end,      errors,    firewall, ports,     changeLock, serviceMonitor,
                    services, waitClock, resultLog};
};

Win32Platform::Win32Platform() : services_(std::make_unique<Services>()) {}

Win32Platform::~Win32Platform() = default;

Platform& Win32Platform::platform() {
    return services_->bundle;
}

void Win32Platform::setOwnerWindow(HWND owner) {
    services_->messages.setOwnerWindow(owner);
    services_->documents.setOwnerWindow(owner);
}

} // namespace velkora::win32
