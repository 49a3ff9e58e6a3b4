#include "logic/pending_change.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "logic/utf8.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

using Json = nlohmann::ordered_json;

// 2 added the boot and the tick of the deadline; the first format is still read.
constexpr int journalVersion = 2;
constexpr int firstJournalVersion = 1;

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
}

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

} // namespace

const char* pendingStateName(PendingState state) {
    switch (state) {
    case PendingState::Applying:
        return "applying";
    case PendingState::AwaitingConfirmation:
        return "awaiting-confirmation";
    case PendingState::RestartPending:
        return "restart-pending";
    default:
        return "closing-old-port";
    }
}

namespace {

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

std::wstring writtenPortText(const PendingChange& change) {
    return change.newPortText.empty() ? std::to_wstring(change.newPort) : change.newPortText;
}

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

std::optional<PendingChange> readPendingChange(ChangeJournal& journal) {
    const std::optional<std::string> text = journal.read();
    return text ? std::optional<PendingChange>(parseJournal(*text)) : std::nullopt;
}

void refuseWhileChangePending(ChangeJournal& journal) {
    const std::optional<PendingChange> pending = readPendingChange(journal);
    if (!pending) {
        return;
    }
    const std::wstring oldPort =
        pending->oldPort ? std::to_wstring(*pending->oldPort) : std::wstring(L"（无）");
    if (pending->state == PendingState::RestartPending) {
        throw PlatformError(ErrorNumber::AnotherChangeInProgress,
                            L"端口从 " + oldPort + L" 改为 " + std::to_wstring(pending->newPort) +
                                L" 的修改正在改回，远程桌面服务尚未在原端口 " + oldPort +
                                L" 上监听；确认服务每分钟重试一次。运行 velkora-cli rollback "
                                L"可立即重试。");
    }
    throw PlatformError(ErrorNumber::AnotherChangeInProgress,
                        L"端口从 " + oldPort + L" 改为 " + std::to_wstring(pending->newPort) +
                            L" 的修改正在等待确认（截止 " +
                            fromUtf8(utcTimestamp(pending->confirmBy)) +
                            L"）。请先运行 velkora-cli confirm 保留它，或运行 velkora-cli "
                            L"rollback 改回原端口。");
}

std::string utcTimestamp(std::int64_t secondsSince1970) {
    const std::int64_t days =
        (secondsSince1970 >= 0 ? secondsSince1970 : secondsSince1970 - 86399) / 86400;
    const std::int64_t seconds = secondsSince1970 - days * 86400;
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days, year, month, day);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<long long>(year), month, day, static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    return text;
}

std::optional<std::int64_t> parseUtcTimestamp(const std::string& text) {
    // Digits where the form has a 0, the form's own character elsewhere. Read by hand: sscanf
    // would bring the C runtime's whole scanf into each exe for this one line.
    static const char form[] = "0000-00-00T00:00:00Z";
    if (text.size() != sizeof form - 1) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (form[i] == '0' ? !digit : text[i] != form[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        unsigned value = 0;
        for (std::size_t i = at; i < at + length; ++i) {
            value = value * 10 + static_cast<unsigned>(text[i] - '0');
        }
        return value;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2),
                   hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

} // namespace velkora
