#include "cli/text_report.h"

#include <cstddef>
#include <iterator>

#include "logic/port_change_set.h"
#include "logic/utc_timestamp.h"
#include "logic/utf8.h"

namespace velkora::cli {
namespace {

const std::wstring crlf = L"\r\n";

std::wstring number(long value) {
    return std::to_wstring(value);
}

// The warning of the lockout guard without its closing question, which the window asks.
std::wstring guardWarning(const PortCheck& check) {
    std::wstring text = lockoutWarningText(check);
    const std::size_t question = text.rfind(L"\r\n");
    if (question != std::wstring::npos) {
        text.erase(question);
    }
    return text + crlf;
}

// An empty address: running in a Remote Desktop session, no connection of it was found.
std::wstring cutOffWarning(const std::wstring& clientAddress) {
    if (clientAddress.empty()) {
        return L"本进程在远程桌面会话中运行，但找不到远程桌面服务在监听端口上的连接，"
               L"无法确认 --allow-from 不会切断本会话。" +
               crlf;
    }
    return L"本远程桌面会话的客户端地址 " + clientAddress +
           L" 不在 --allow-from 的地址中：修改后将切断本会话。" + crlf;
}

std::wstring presence(const std::optional<bool>& present) {
    return present ? (*present ? L"已存在" : L"不存在") : L"未知";
}

// "（远程地址 10.0.0.0/8）" after a rule that is there.
std::wstring remoteAddressesNote(const std::optional<std::wstring>& addresses) {
    return addresses ? L"（远程地址 " + *addresses + L"）" : L"";
}

std::wstring serviceStateText(ServiceState state) {
    // In the order of the service control manager's state numbers, which start at 1.
    static const wchar_t* const names[] = {L"已停止",   L"正在启动", L"正在停止", L"正在运行",
                                           L"正在继续", L"正在暂停", L"已暂停"};
    const std::size_t index = static_cast<std::size_t>(state) - 1;
    if (index < std::size(names)) {
        return names[index];
    }
    return L"未知"; // a number the service control manager does not define
}

// "监听器 RDP-Tcp：端口 3389，已启用，安全层 TLS，要求网络级别身份验证"
std::wstring listenerLine(const RemoteDesktopListener& listener) {
    static const wchar_t* const layers[] = {L"RDP", L"协商", L"TLS"};
    const std::optional<long>& layer = listener.securityLayer;
    const std::wstring layerText = !layer                       ? L"未知"
                                   : *layer >= 0 && *layer <= 2 ? layers[*layer]
                                                                : number(*layer);
    const std::wstring nla = !listener.nlaRequired   ? L"网络级别身份验证未知"
                             : *listener.nlaRequired ? L"要求网络级别身份验证"
                                                     : L"不要求网络级别身份验证";
    return L"监听器 " + listener.name + L"：端口 " + number(listener.port) + L"，" +
           (listener.enabled ? L"已启用" : L"已停用") + L"，安全层 " + layerText + L"，" + nla +
           crlf;
}

void statusLines(const RemoteDesktopStatus& status, TextReport& text) {
    text.out += L"当前远程端口：" + number(status.port) + crlf;
    if (!status.rdpTcpPort) {
        text.err += L"警告：RDP-Tcp 的端口值无法读取。" + crlf;
    } else if (!status.tdsPort) {
        text.err += L"警告：Tds\\tcp 的端口值无法读取。" + crlf;
    } else if (*status.rdpTcpPort != *status.tdsPort) {
        text.err += L"警告：监听端口的两个值不一致：Tds\\tcp 为 " + number(*status.tdsPort) +
                    L"，RDP-Tcp 为 " + number(*status.rdpTcpPort) + L"。" + crlf;
    }
    if (status.firewallAvailable) {
        text.out += L"防火墙规则：TCP " + presence(status.tcpRule) +
                    remoteAddressesNote(status.tcpRemoteAddresses) + L"，UDP " +
                    presence(status.udpRule) + remoteAddressesNote(status.udpRemoteAddresses) +
                    crlf;
    } else {
        text.out += L"防火墙规则：未知（防火墙服务不可用）" + crlf;
    }
    std::wstring allowed = !status.allowed ? L"未知" : (*status.allowed ? L"允许" : L"禁止");
    if (status.allowedByPolicy) {
        allowed += L"（由组策略决定）";
    }
    text.out += L"远程桌面连接：" + allowed + crlf;

    std::wstring service = L"远程桌面服务（TermService）：";
    if (!status.service) {
        service += L"未知";
    } else {
        service += serviceStateText(status.service->state);
        if (status.service->processId != 0) {
            service += L"，进程 " + number(static_cast<long>(status.service->processId));
        }
        if (status.service->state == ServiceState::Running) {
            service += L"，监听 TCP 端口：";
            if (!status.serviceTcpPorts) {
                service += L"未知";
            } else if (status.serviceTcpPorts->empty()) {
                service += L"无";
            } else {
                for (std::size_t i = 0; i < status.serviceTcpPorts->size(); ++i) {
                    service += (i ? L", " : L"") + number((*status.serviceTcpPorts)[i]);
                }
            }
        }
    }
    text.out += service + crlf;
    if (status.listeners) {
        for (const RemoteDesktopListener& listener : *status.listeners) {
            text.out += listenerLine(listener);
        }
    }
}

void checkLines(const Report& report, TextReport& text) {
    const PortCheck& check = *report.check;
    switch (check.result) {
    case PortCheckResult::Free:
        text.out += L"端口 " + number(check.port) + L" 可用。" + crlf;
        break;
    case PortCheckResult::Same:
        text.out += L"端口 " + number(check.port) + L" 就是当前的远程端口。" + crlf;
        break;
    default:
        text.out += guardWarning(check);
        break;
    }
}

std::wstring firewallLine(const FirewallOutcome& firewall) {
    if (!firewall.available) {
        return L"防火墙服务不可用，未添加规则。" + crlf;
    }
    auto rule = [](RuleOutcome outcome) {
        return outcome == RuleOutcome::Added     ? L"已添加"
               : outcome == RuleOutcome::Updated ? L"已更新"
                                                 : L"已存在";
    };
    return L"防火墙规则：TCP " + std::wstring(rule(firewall.tcp)) + L"，UDP " + rule(firewall.udp) +
           crlf;
}

void setLines(const Report& report, TextReport& text) {
    if (report.forced) {
        if (report.sessionClientAddress) {
            text.err += cutOffWarning(*report.sessionClientAddress);
        }
        const PortCheckResult checked = report.check->result;
        if (checked == PortCheckResult::InUse || checked == PortCheckResult::Reserved) {
            text.err += guardWarning(*report.check);
        }
        text.err += L"已按 --force 继续修改。" + crlf;
    }
    if (!report.changed.value_or(false)) {
        const std::wstring already = L"端口已是 " + number(*report.newPort);
        if (report.restart == RestartState::Required) {
            text.out +=
                already + L"，但远程桌面服务还没有在该端口上监听，请重启计算机生效！" + crlf;
        } else if (report.restart == RestartState::Started) {
            text.out += already + L"，但远程桌面服务还没有在该端口上监听，正在重启计算机。" + crlf;
        } else {
            text.out += already + L"，无需修改。" + crlf;
        }
        return;
    }
    if (report.restart == RestartState::None) {
        text.out += L"端口已是 " + number(*report.newPort) + L"，已补全防火墙设置，无需重启。" +
                    crlf + firewallLine(*report.firewall);
        return;
    }
    text.out += report.restart == RestartState::Started
                    ? L"端口修改成功，正在重启计算机。" + crlf
                    : L"端口修改成功，请重启计算机生效！" + crlf;
    text.out += firewallLine(*report.firewall);
}

std::wstring observationText(const ServiceObservation& seen) {
    std::wstring text = serviceStateText(seen.status.state);
    if (seen.status.processId != 0) {
        text += L"，进程 " + number(static_cast<long>(seen.status.processId));
    }
    text += L"，监听端口：";
    if (seen.tcpPorts.empty()) {
        text += L"无";
    }
    for (std::size_t i = 0; i < seen.tcpPorts.size(); ++i) {
        text += (i == 0 ? L"" : L"、") + number(seen.tcpPorts[i]);
    }
    return text;
}

void serviceRestartLines(const Report& report, TextReport& text) {
    const ServiceRestartOutcome& outcome = *report.serviceRestart;
    const std::wstring newPort = number(*report.newPort);
    const std::wstring seconds = number(static_cast<long>((outcome.elapsed.count() + 500) / 1000));
    if (outcome.result == RestartResult::Verified) {
        text.out += (report.restartedForValuesInPlace ? L"端口已是 " + newPort + L"，"
                                                      : std::wstring(L"端口修改成功，")) +
                    L"远程桌面服务已重启，正在端口 " + newPort + L" 上监听（用时 " + seconds +
                    L" 秒）。" + crlf;
        text.out += firewallLine(*report.firewall);
        return;
    }
    text.err += L"远程桌面服务重启后没有在端口 " + newPort + L" 上监听。" + crlf;
    if (outcome.whenGivenUp) {
        text.err += L"当时服务状态：" + observationText(*outcome.whenGivenUp) + crlf;
    }
    if (outcome.result == RestartResult::NotVerified) { // its error follows with the others
        text.err += L"端口值在重启前已是 " + newPort + L"，没有需要恢复的修改。" + crlf;
        return;
    }
    if (outcome.error) {
        text.err += L"错误 " + errorNumberText(outcome.error->number()) + L"：" +
                    outcome.error->description() + crlf;
    }
    if (outcome.result == RestartResult::RolledBack) {
        text.err += L"已恢复原端口 " + number(report.oldPort.value_or(0)) +
                    L" 的注册表值和防火墙规则，远程桌面服务已重新在该端口上监听。" + crlf;
        return;
    }
    text.err += L"恢复失败，以下是现在的状态，请检查：" + crlf;
    text.err += L"监听端口值：" +
                (report.listenerPortNow ? number(*report.listenerPortNow) : L"无法读取") + crlf;
    text.err +=
        L"远程桌面服务：" + (outcome.atEnd ? observationText(*outcome.atEnd) : L"无法读取") + crlf;
}

std::wstring utcText(std::int64_t seconds) {
    return fromUtf8(utcTimestamp(seconds)) + L"（UTC）";
}

std::wstring portOrNone(const std::optional<long>& port) {
    return port ? number(*port) : std::wstring(L"（无）");
}

// A change that waits for confirmation: what it is, and what to do before its deadline.
void pendingLines(const Report& report, TextReport& text) {
    if (report.pendingChange) {
        const PendingChange& pending = *report.pendingChange;
        text.out += L"待确认的修改：端口 " + portOrNone(pending.oldPort) + L" → " +
                    number(pending.newPort) +
                    (pending.state == PendingState::Applying ? L"，正在应用"
                     : pending.state == PendingState::RestartPending
                         ? L"，正在改回：端口值已恢复，等待远程桌面服务在原端口上监听"
                     : pending.state == PendingState::ClosingOldPort
                         ? L"，已确认，正在关闭旧端口"
                         : L"，等待确认，截止 " + utcText(pending.confirmBy)) +
                    crlf;
    }
    if (report.confirmBy) {
        text.out += L"请在 " + utcText(*report.confirmBy) + L"之前用新端口 " +
                    number(*report.newPort) + L" 连接本机，并运行 velkora-cli confirm 确认。" +
                    L"否则端口将自动改回 " + portOrNone(report.oldPort) + L"。" + crlf;
    }
    if (report.confirmed) {
        text.out += *report.confirmed
                        ? L"已确认：保留端口 " + number(*report.newPort) + L"。" + crlf
                        : L"没有等待确认的端口修改。" + crlf;
    }
    if (report.closedOldPort) {
        const OldPortClosing& closed = *report.closedOldPort;
        text.out += L"已关闭旧端口 " + number(closed.port) + L"：删除规则 " +
                    number(static_cast<long>(closed.removedRules.size())) + L" 条，停用规则 " +
                    number(static_cast<long>(closed.disabledRules.size())) + L" 条。" + crlf;
    }
    if (report.reopenedOldPort) {
        text.out += L"已恢复被中断的关闭旧端口 " + number(*report.reopenedOldPort) +
                    L" 的操作：其防火墙规则和开放端口项已恢复原状，端口仍为 " +
                    portOrNone(report.newPort) + L"。" + crlf;
    } else if (report.rolledBack && *report.rolledBack && !report.error) {
        text.out += L"已改回端口 " + portOrNone(report.oldPort) +
                    L"，远程桌面服务正在该端口上监听。" + crlf;
    } else if (report.rolledBack && !report.newPort) {
        text.out += L"没有等待确认的端口修改。" + crlf;
    }
}

void errorLines(const Report& report, TextReport& text) {
    const PlatformError& error = *report.error;
    if (report.exitCode == ExitCode::Usage) {
        text.err += error.description() + crlf;
        return;
    }
    if (report.command == "status") {
        text.err += L"无法读取当前远程端口。" + crlf;
    }
    text.err += L"错误 " + errorNumberText(error.number()) + L"：" + error.description() + crlf;
    if (report.exitCode == ExitCode::AccessDenied) {
        text.err += L"请以管理员身份运行。" + crlf;
    }
    if (report.exitCode == ExitCode::RestartRequired) {
        text.err += L"端口已修改，但无法重启计算机，请手动重启。" + crlf;
    } else if (report.restartedForValuesInPlace) {
        text.err += L"请检查远程桌面服务。" + crlf;
    } else if (report.serviceRestart) {
        text.err += L"恢复时出错，见上面的状态。" + crlf;
    } else if (error.changeLeftBehind()) {
        text.err += L"修改未能全部恢复，请检查远程桌面的端口值和防火墙规则。" + crlf;
    } else if (report.command == "set") {
        text.err += L"未做任何修改。" + crlf;
    } else if (report.command == "rollback" && report.rolledBack == false) {
        text.err += L"待确认的修改仍在，守护服务稍后会再试。" + crlf;
    } else if (report.command == "rollback") {
        text.err += L"端口值和防火墙规则已改回，请检查远程桌面服务。" + crlf;
    }
}

} // namespace

TextReport textReport(const Report& report) {
    TextReport text;
    if (report.interrupted) {
        text.err +=
            L"注意：上一次端口修改被中断（持有修改锁的程序意外结束），本次已接手修改锁。" + crlf;
    }
    const bool refused =
        report.exitCode == ExitCode::PortInUse || report.exitCode == ExitCode::PortReserved;
    if (report.command == "set" && refused) {
        text.err +=
            guardWarning(*report.check) + L"未写入任何内容。如仍要修改，请加 --force。" + crlf;
    } else if (report.exitCode == ExitCode::CutsOffSession) {
        text.err += cutOffWarning(report.sessionClientAddress.value_or(L"")) +
                    L"未写入任何内容。如仍要修改，请加 --force。" + crlf;
    } else if (report.status) {
        statusLines(*report.status, text);
    } else if (report.command == "check" && report.check) {
        checkLines(report, text);
    } else if (report.serviceRestart) {
        serviceRestartLines(report, text);
    } else if (report.command == "set" && report.changed && report.newPort && report.firewall) {
        setLines(report, text);
    }
    pendingLines(report, text);
    if (report.error) {
        errorLines(report, text);
    }
    if (report.unprotectedListenerMoved) {
        text.err += L"警告：唯一启用的远程桌面监听器没有要求网络级别身份验证，新端口同样会被扫描器"
                    L"找到。" +
                    crlf;
    }
    if (report.connectWith) {
        text.out += L"连接方式：" + *report.connectWith + crlf;
    }
    if (report.auditError) {
        text.err += L"警告：无法写入审计事件（错误 " +
                    errorNumberText(report.auditError->number()) + L"）：" +
                    report.auditError->description() + crlf;
    }
    if (report.logError) {
        text.err += L"警告：无法写入日志（错误 " + errorNumberText(report.logError->number()) +
                    L"）：" + report.logError->description() + crlf;
    }
    return text;
}

} // namespace velkora::cli
