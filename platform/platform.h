#pragma once

#include "platform/change_lock.h"
#include "platform/clock.h"
#include "platform/document_opener.h"
#include "platform/error_report.h"
#include "platform/firewall.h"
#include "platform/launcher.h"
#include "platform/message_box.h"
#include "platform/port_probe.h"
#include "platform/program_end.h"
#include "platform/program_folder.h"
#include "platform/result_log.h"
#include "platform/service_manager.h"
#include "platform/service_monitor.h"
#include "platform/shell_object.h"
#include "platform/wait_clock.h"

namespace velkora {

// The services the logic and the window work through; each one real on Windows and
// replaceable by a fake in tests.
struct Platform {
    ShellObjectFactory& shell;
    MessageBoxService& messages;
    Launcher& launcher;
    DocumentOpener& documents;
    Clock& clock;
    ProgramFolder& folder;
    ProgramEnd& end;
    ErrorReport& errors;
    Firewall& firewall;
    PortProbe& ports;
    ChangeLock& changeLock;
    ServiceMonitor& serviceMonitor;
    ServiceManager& services;
    WaitClock& waitClock;
    ResultLog& resultLog;
};

} // namespace velkora
