#include "cli/json_report.h"

#include <nlohmann/json.hpp>

#include "logic/utc_timestamp.h"
#include "logic/utf8.h"
#include "velkora_version.h"

namespace velkora::cli {
namespace {

using Json = nlohmann::ordered_json;

template <typename T> Json orNull(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

Json textOrNull(const std::optional<std::wstring>& text) {
    return text ? Json(toUtf8(*text)) : Json(nullptr);
}

const char* restartName(RestartState state) {
    switch (state) {
    case RestartState::Required:
        return "required";
    case RestartState::Started:
        return "started";
    case RestartState::Done:
        return "done";
    default:
        return "none";
    }
}

const char* ruleName(RuleOutcome outcome) {
    switch (outcome) {
    case RuleOutcome::Added:
        return "added";
    case RuleOutcome::Present:
        return "present";
    case RuleOutcome::Updated:
        return "updated";
    default:
        return "skipped";
    }
}

Json presenceName(const std::optional<bool>& present) {
    return present ? Json(*present ? "present" : "absent") : Json(nullptr);
}

const char* serviceStateName(ServiceState state) {
    switch (state) {
    case ServiceState::Stopped:
        return "stopped";
    case ServiceState::StartPending:
        return "startPending";
    case ServiceState::StopPending:
        return "stopPending";
    case ServiceState::Running:
        return "running";
    case ServiceState::ContinuePending:
        return "continuePending";
    case ServiceState::PausePending:
        return "pausePending";
    case ServiceState::Paused:
        return "paused";
    }
    return "unknown"; // a number the service control manager does not define
}

Json firewallJson(const Report& report) {
    if (report.firewall) {
        return {{"available", report.firewall->available},
                {"tcp", ruleName(report.firewall->tcp)},
                {"udp", ruleName(report.firewall->udp)}};
    }
    if (report.status) {
        return {{"available", report.status->firewallAvailable},
                {"tcp", presenceName(report.status->tcpRule)},
                {"udp", presenceName(report.status->udpRule)},
                {"tcpRemoteAddresses", textOrNull(report.status->tcpRemoteAddresses)},
                {"udpRemoteAddresses", textOrNull(report.status->udpRemoteAddresses)}};
    }
    return nullptr;
}

Json checkJson(const std::optional<PortCheck>& check) {
    if (!check) {
        return nullptr;
    }
    Json owners = Json::array();
    for (const PortOwner& owner : check->owners) {
        Json services = Json::array();
        for (const std::wstring& service : owner.services) {
            services.push_back(toUtf8(service));
        }
        owners.push_back({{"protocol", portProtocolName(owner.protocol)},
                          {"pid", owner.pid},
                          {"image", toUtf8(owner.image)},
                          {"services", services}});
    }
    Json json = {{"result", portCheckResultName(check->result)},
                 {"owners", owners},
                 {"bindError", check->bindError},
                 {"dynamicRange", check->dynamicRange}};
    if (!check->listener.empty()) {
        json["listener"] = toUtf8(check->listener);
    }
    return json;
}

Json remoteDesktopJson(const std::optional<RemoteDesktopStatus>& status) {
    if (!status) {
        return nullptr;
    }
    Json service = nullptr;
    if (status->service) {
        service = {{"state", serviceStateName(status->service->state)},
                   {"pid", status->service->processId},
                   {"tcpPorts", orNull(status->serviceTcpPorts)}};
    } else {
        service = {{"state", nullptr}, {"pid", nullptr}, {"tcpPorts", nullptr}};
    }
    Json listeners = nullptr;
    if (status->listeners) {
        listeners = Json::array();
        for (const RemoteDesktopListener& listener : *status->listeners) {
            listeners.push_back({{"name", toUtf8(listener.name)},
                                 {"port", listener.port},
                                 {"enabled", listener.enabled},
                                 {"securityLayer", orNull(listener.securityLayer)},
                                 {"nlaRequired", orNull(listener.nlaRequired)}});
        }
    }
    return {
        {"listeners", listeners},
        {"allowed", orNull(status->allowed)},
        {"allowedByPolicy", status->allowedByPolicy},
        {"portValues", {{"tds", orNull(status->tdsPort)}, {"rdpTcp", orNull(status->rdpTcpPort)}}},
        {"service", service}};
}

Json errorJson(const std::optional<PlatformError>& error) {
    if (!error) {
        return nullptr;
    }
    return {{"number", error->number()}, {"description", toUtf8(error->description())}};
}

Json observationJson(const std::optional<ServiceObservation>& seen) {
    if (!seen) {
        return nullptr;
    }
    return {{"state", serviceStateName(seen->status.state)},
            {"pid", seen->status.processId},
            {"tcpPorts", seen->tcpPorts}};
}

// Why the new port was given up: the service as it was then, and the failed stop or start.
Json reasonJson(const std::optional<ServiceRestartOutcome>& outcome) {
    if (!outcome || outcome->result == RestartResult::Verified) {
        return nullptr;
    }
    return {{"service", observationJson(outcome->whenGivenUp)},
            {"error", errorJson(outcome->error)}};
}

Json pendingJson(const std::optional<PendingChange>& pending) {
    if (!pending) {
        return nullptr;
    }
    return {{"oldPort", orNull(pending->oldPort)},
            {"newPort", pending->newPort},
            {"confirmBy", utcTimestamp(pending->confirmBy)},
            {"state", pendingStateName(pending->state)}};
}

} // namespace

std::string jsonReport(const Report& report) {
    Json json = {
        {"schema", 1},
        {"version", VELKORA_VERSION_TEXT},
        {"command", report.command.empty() ? Json(nullptr) : Json(report.command)},
        {"exitCode", report.exitCode},
        {"port", orNull(report.port)},
        {"oldPort", orNull(report.oldPort)},
        {"newPort", orNull(report.newPort)},
        {"changed", orNull(report.changed)},
        {"restart", report.restart ? Json(restartName(*report.restart)) : Json(nullptr)},
        {"forced", report.forced},
        {"firewall", firewallJson(report)},
        {"check", checkJson(report.check)},
        {"remoteDesktop", remoteDesktopJson(report.status)},
        {"error", errorJson(report.error)},
    };
    if (report.interrupted) {
        json["interrupted"] = true;
    }
    if (report.sessionClientAddress) {
        json["sessionClientAddress"] = report.sessionClientAddress->empty()
                                           ? Json(nullptr)
                                           : Json(toUtf8(*report.sessionClientAddress));
    }
    if (report.error && report.error->changeLeftBehind()) {
        json["rolledBack"] = false;
    }
    if (report.serviceRestart) {
        const ServiceRestartOutcome& restart = *report.serviceRestart;
        json["verified"] = restart.result == RestartResult::Verified;
        json["rolledBack"] = restart.result == RestartResult::RolledBack;
        json["restartSeconds"] = static_cast<double>(restart.elapsed.count()) / 1000.0;
        json["reason"] = reasonJson(restart);
        json["service"] = observationJson(restart.atEnd);
    }
    if (report.command == "status") {
        json["pendingChange"] = pendingJson(report.pendingChange);
    }
    if (report.confirmBy) {
        json["confirmation"] = "pending";
        json["confirmBy"] = utcTimestamp(*report.confirmBy);
    }
    if (report.confirmed) {
        json["confirmed"] = *report.confirmed;
    }
    if (report.closedOldPort) {
        Json closed = Json::array();
        for (const FirewallRule& rule : report.closedOldPort->removedRules) {
            closed.push_back({{"name", toUtf8(rule.name)}, {"action", "removed"}});
        }
        for (const FirewallRule& rule : report.closedOldPort->disabledRules) {
            closed.push_back({{"name", toUtf8(rule.name)}, {"action", "disabled"}});
        }
        json["closedRules"] = closed;
    }
    if (report.rolledBack) {
        json["rolledBack"] = *report.rolledBack;
    }
    if (report.reopenedOldPort) {
        json["reopenedOldPort"] = *report.reopenedOldPort;
    }
    return json.dump(-1, ' ', true, Json::error_handler_t::replace);
}

} // namespace velkora::cli
