#include "logic/journal_text.h"

#include <nlohmann/json.hpp>

#include "logic/utc_timestamp.h"
#include "logic/utf8.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

using Json = nlohmann::ordered_json;

// 2 added the boot and the tick of the deadline; the first format is still read.
constexpr int journalVersion = 2;
constexpr int firstJournalVersion = 1;

std::string hexOf(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

std::vector<std::uint8_t> bytesOf(const std::string& hex) {
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        throw PlatformError(ErrorNumber::InvalidData, L"hex");
    };
    if (hex.size() % 2 != 0) {
        throw PlatformError(ErrorNumber::InvalidData, L"hex");
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(digit(hex[i]) * 16 + digit(hex[i + 1])));
    }
    return bytes;
}

Json valueJson(const RegistryValueState& state) {
    Json json = {{"missingKeys", state.missingKeys}};
    if (state.value) {
        json["type"] = state.value->type;
        json["bytes"] = hexOf(state.value->bytes);
    }
    return json;
}

RegistryValueState valueFrom(const Json& json) {
    RegistryValueState state;
    state.missingKeys = json.at("missingKeys").get<int>();
    if (json.contains("type")) {
        state.value = StoredRegistryValue{json.at("type").get<std::uint32_t>(),
                                          bytesOf(json.at("bytes").get<std::string>())};
    }
    return state;
}

Json ruleJson(const std::optional<FirewallRule>& rule) {
    if (!rule) {
        return nullptr;
    }
    return {{"name", toUtf8(rule->name)},
            {"description", toUtf8(rule->description)},
            {"grouping", toUtf8(rule->grouping)},
            {"applicationName", toUtf8(rule->applicationName)},
            {"serviceName", toUtf8(rule->serviceName)},
            {"protocol", rule->protocol},
            {"localPorts", toUtf8(rule->localPorts)},
            {"direction", rule->direction},
            {"action", rule->action},
            {"profiles", rule->profiles},
            {"remoteAddresses", toUtf8(rule->remoteAddresses)},
            {"enabled", rule->enabled}};
}

// A rule of the first format may lack its service.
std::optional<FirewallRule> ruleFrom(const Json& json) {
    if (json.is_null()) {
        return std::nullopt;
    }
    const auto text = [&](const char* key) {
        return fromUtf8(json.at(key).get<std::string>());
    };
    FirewallRule rule;
    rule.name = text("name");
    rule.description = text("description");
    rule.grouping = text("grouping");
    rule.applicationName = text("applicationName");
    rule.serviceName = json.contains("serviceName") ? text("serviceName") : L"";
    rule.protocol = json.at("protocol").get<long>();
    rule.localPorts = text("localPorts");
    rule.direction = json.at("direction").get<long>();
    rule.action = json.at("action").get<long>();
    rule.profiles = json.at("profiles").get<long>();
    rule.remoteAddresses = text("remoteAddresses");
    rule.enabled = json.at("enabled").get<bool>();
    return rule;
}

// A recorded port text names the port: its digits, leading zeros allowed. Nothing else may
// choose which entries the watcher writes.
bool portTextNames(const std::wstring& text, long port) {
    if (text.empty()) {
        return true;
    }
    if (text.size() > 5 || text.find_first_not_of(L"0123456789") != std::wstring::npos) {
        return false;
    }
    return std::stol(text) == port;
}

Json rulesJson(const std::vector<FirewallRule>& rules) {
    Json all = Json::array();
    for (const FirewallRule& rule : rules) {
        all.push_back(ruleJson(rule));
    }
    return all;
}

std::vector<FirewallRule> rulesFrom(const Json& json) {
    std::vector<FirewallRule> rules;
    for (const Json& rule : json) {
        rules.push_back(*ruleFrom(rule));
    }
    return rules;
}

Json closingJson(const std::optional<OldPortClosing>& closing) {
    if (!closing) {
        return nullptr;
    }
    Json entries = Json::array();
    for (const RegistryValueState& entry : closing->openPortEntries) {
        entries.push_back(valueJson(entry));
    }
    return {{"port", closing->port},
            {"portText", toUtf8(closing->portText)},
            {"removedRules", rulesJson(closing->removedRules)},
            {"disabledRules", rulesJson(closing->disabledRules)},
            {"openPortEntries", entries}};
}

std::optional<OldPortClosing> closingFrom(const Json& json) {
    if (json.is_null()) {
        return std::nullopt;
    }
    OldPortClosing closing;
    closing.port = json.at("port").get<long>();
    closing.portText = fromUtf8(json.value("portText", std::string()));
    if (!portTextNames(closing.portText, closing.port)) {
        throw PlatformError(ErrorNumber::InvalidData, L"portText");
    }
    closing.removedRules = rulesFrom(json.at("removedRules"));
    closing.disabledRules = rulesFrom(json.at("disabledRules"));
    for (const Json& entry : json.at("openPortEntries")) {
        closing.openPortEntries.push_back(valueFrom(entry));
    }
    if (closing.openPortEntries.size() != 2) {
        throw PlatformError(ErrorNumber::InvalidData, L"openPortEntries");
    }
    return closing;
}

PendingChange changeFrom(const Json& json) {
    const int version = json.at("version").get<int>();
    if (version != journalVersion && version != firstJournalVersion) {
        throw PlatformError(ErrorNumber::InvalidData, L"version");
    }
    const bool first = version == firstJournalVersion;
    PendingChange change;
    const std::string state = json.at("state").get<std::string>();
    for (PendingState known : {PendingState::Applying, PendingState::AwaitingConfirmation,
                               PendingState::ClosingOldPort, PendingState::RestartPending}) {
        if (state == pendingStateName(known)) {
            change.state = known;
        }
    }
    if (state != pendingStateName(change.state)) {
        throw PlatformError(ErrorNumber::InvalidData, L"state");
    }
    if (!json.at("oldPort").is_null()) {
        change.oldPort = json.at("oldPort").get<long>();
    }
    change.newPort = json.at("newPort").get<long>();
    change.newPortText = fromUtf8(json.value("newPortText", std::string()));
    if (!portTextNames(change.newPortText, change.newPort)) {
        throw PlatformError(ErrorNumber::InvalidData, L"newPortText");
    }
    const std::string restart = json.at("restart").get<std::string>();
    if (restart != "service" && restart != "computer") {
        throw PlatformError(ErrorNumber::InvalidData, L"restart");
    }
    change.restart = restart == "service" ? PendingRestart::Service : PendingRestart::Computer;
    change.confirmSeconds = json.at("confirmSeconds").get<long>();
    const std::optional<std::int64_t> confirmBy =
        parseUtcTimestamp(json.at("confirmBy").get<std::string>());
    if (!confirmBy) {
        throw PlatformError(ErrorNumber::InvalidData, L"confirmBy");
    }
    change.confirmBy = *confirmBy;
    change.confirmByLogon = json.at("confirmByLogon").get<bool>();
    change.countedFromBoot = json.at("countedFromBoot").get<bool>();
    if (!first) {
        change.bootId = json.at("bootId").get<std::string>();
        change.confirmByTick = json.at("confirmByTick").get<std::int64_t>();
    }
    for (const Json& value : json.at("values")) {
        change.values.push_back(valueFrom(value));
    }
    if (change.values.size() != 4) {
        throw PlatformError(ErrorNumber::InvalidData, L"values");
    }
    const Json& rules = json.at("rules");
    if (!rules.is_null()) {
        change.rules.emplace();
        if (rules.size() != 2) {
            throw PlatformError(ErrorNumber::InvalidData, L"rules");
        }
        (*change.rules)[0] = ruleFrom(rules.at(0));
        (*change.rules)[1] = ruleFrom(rules.at(1));
    }
    if (!first || json.contains("closeOld")) {
        change.closeOld = json.at("closeOld").get<bool>();
        change.closing = closingFrom(json.at("closing"));
    }
    if ((change.state == PendingState::ClosingOldPort) != change.closing.has_value()) {
        throw PlatformError(ErrorNumber::InvalidData, L"closing");
    }
    return change;
}

} // namespace

std::string journalText(const PendingChange& change) {
    Json values = Json::array();
    for (const RegistryValueState& value : change.values) {
        values.push_back(valueJson(value));
    }
    Json json = {
        {"version", journalVersion},
        {"state", pendingStateName(change.state)},
        {"oldPort", change.oldPort ? Json(*change.oldPort) : Json(nullptr)},
        {"newPort", change.newPort},
        {"newPortText", toUtf8(writtenPortText(change))},
        {"restart", change.restart == PendingRestart::Service ? "service" : "computer"},
        {"confirmSeconds", change.confirmSeconds},
        {"confirmBy", utcTimestamp(change.confirmBy)},
        {"confirmByLogon", change.confirmByLogon},
        {"countedFromBoot", change.countedFromBoot},
        {"bootId", change.bootId},
        {"confirmByTick", change.confirmByTick},
        {"values", values},
        {"rules", change.rules
                      ? Json::array({ruleJson((*change.rules)[0]), ruleJson((*change.rules)[1])})
                      : Json(nullptr)},
        {"closeOld", change.closeOld},
        {"closing", closingJson(change.closing)},
    };
    return json.dump(2, ' ', true) + "\r\n";
}

PendingChange parseJournal(const std::string& text) {
    try {
        return changeFrom(Json::parse(text));
    } catch (const std::exception&) {
        throw PlatformError(ErrorNumber::InvalidData,
                            L"无法读取待确认修改的记录 pending-change.json：内容已损坏。");
    }
}

} // namespace velkora
