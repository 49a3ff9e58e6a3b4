#include "platform/win32/system_services.h"

#include "platform/win32/audit/event_log_audit_log.h"
#include "platform/win32/change/change_journal_file.h"
#include "platform/win32/change/change_lock.h"
#include "platform/win32/change/result_log.h"
#include "platform/win32/firewall/firewall.h"
#include "platform/win32/network/port_probe.h"
#include "platform/win32/registry/system_registry.h"
#include "platform/win32/registry/system_info.h"
#include "platform/win32/runtime/system_clock.h"
#include "platform/win32/services/confirmation_watcher.h"
#include "platform/win32/services/service_manager.h"
#include "platform/win32/shell/launcher.h"

namespace velkora::win32 {

struct Win32SystemServices::Parts {
    Registry& registry = systemRegistry();
    ProcessLauncher launcher;
    NetFwFirewall firewall;
    SystemPortProbe ports;
    NamedMutexChangeLock changeLock;
    ScmServiceManager services;
    SystemClock clock;
    ProgramDataResultLog resultLog;
    Win32SystemInfo info;
    EventLogAuditLog audit;
    ChangeJournalFile journal;
    ScmConfirmationWatcher watcher;
    SystemServices bundle{registry, launcher,  firewall, ports, changeLock, services,
                          clock,    resultLog, info,     audit, journal,    watcher};
};

Win32SystemServices::Win32SystemServices() : parts_(std::make_unique<Parts>()) {}

Win32SystemServices::~Win32SystemServices() = default;

SystemServices& Win32SystemServices::services() {
    return parts_->bundle;
}

} // namespace velkora::win32
