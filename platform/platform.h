#pragma once

#include "platform/audit_log.h"
#include "platform/change_journal.h"
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
#include "platform/registry.h"
#include "platform/result_log.h"
#include "platform/service_manager.h"
#include "platform/system_info.h"

namespace velkora {

// The services a change works through, none of which needs a window: all the command line
// has. Each one is real on Windows and replaceable by a fake in tests.
struct SystemServices {
    Registry& registry;
    Launcher& launcher;
    Firewall& firewall;
    PortProbe& ports;
    ChangeLock& changeLock;
    ServiceManager& services;
    Clock& clock;
    ResultLog& resultLog;
    SystemInfo& info;
    AuditLog& audit;
    ChangeJournal& journal;
    ConfirmationWatcher& watcher;
};

// What the window works through besides: its boxes, the document it opens, its folder and
// its end.
struct Platform : SystemServices {
    MessageBoxService& messages;
    DocumentOpener& documents;
    ProgramFolder& folder;
    ProgramEnd& end;
    ErrorReport& errors;
};

} // namespace velkora
