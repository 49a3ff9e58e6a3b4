#include "logic/modify_command.h"

#include <memory>
#include <optional>

#include "logic/audit_events.h"
#include "logic/listener_settings.h"
#include "logic/lockout_guard.h"
#include "logic/port_change.h"
#include "logic/port_entry_rules.h"

namespace velkora {

const std::wstring confirmationPrompt = L"端口修改成功，请重启计算机生效！\r\n"
                                        L"点“是”则自动重启计算机\r\n"
                                        L"点“否”则您手动重启计算机";

void runModifyCommand(MainWindowView& window, Platform& platform) {
    const ValidationResult verdict = validatePortText(window.portText());
    if (verdict != ValidationResult::Accepted) {
        reportRejection(verdict, platform.messages);
        return;
    }
    const std::wstring portText = window.portText();

    AuditRecord record;
    record.oldPort = tdsListenerPort(platform.registry);
    record.newPort = portNumber(portText);
    record.program = AuditProgram::Window;
    const PortCheck check =
        checkPortAvailability(platform.ports, record.newPort, record.oldPort,
                              listenersIfReadable(platform.info, platform.registry));
    // The window has nowhere to say that the audit log refused an event: the change stands.
    if (!confirmLockoutRisk(check, platform.messages)) {
        record.event = AuditEvent::RefusedByLockoutGuard;
        record.outcome = L"declined";
        recordAuditEvent(platform.audit, record);
        return;
    }
    applyPortChange(platform, portText, WhenInPlace::Rewrite);

    const int reply = platform.messages.messageBox(confirmationPrompt,
                                                   MessageBoxStyle::YesNoInformation, std::nullopt);
    record.event = AuditEvent::Applied;
    record.restart = reply == MessageBoxReply::Yes ? AuditRestart::Computer : AuditRestart::None;
    record.outcome = reply == MessageBoxReply::Yes ? L"started" : L"required";
    recordAuditEvent(platform.audit, record);
    if (reply == MessageBoxReply::Yes) {
        platform.launcher.launch(restartCommand, WindowStyle::MinimizedFocus);
    }
}

} // namespace velkora
