#include "logic/port_change.h"

#include <cstdint>
#include <utility>

#include "logic/confirmed_change.h"
#include "logic/service_port_change.h"
#include "logic/undo.h"
#include "logic/utc_timestamp.h"
#include "logic/utf8.h"
#include "logic/decimal_text.h"

namespace velkora {
namespace {

constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regDword = 4;

// The port a captured listener value holds, if it is a number.
std::optional<std::uint32_t> storedNumber(const RegistryValueState& state) {
    if (!state.value) {
        return std::nullopt;
    }
    const std::optional<RegistryValue> value = valueOf(*state.value);
    if (!value || !std::holds_alternative<std::uint32_t>(*value)) {
        return std::nullopt;
    }
    return std::get<std::uint32_t>(*value);
}

} // namespace

RegistryValueState listenerValueOf(long port) {
    const auto n = static_cast<std::uint32_t>(port);
    return RegistryValueState{
        StoredRegistryValue{regDword,
                            {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                             static_cast<std::uint8_t>(n >> 16),
                             static_cast<std::uint8_t>(n >> 24)}},
        0};
}

void putListenerBackOn(Registry& registry, long port) {
    const PortChangeSet paths = buildPortChangeSet(std::to_wstring(port));
    putBackNewestFirst(
        2, [&](std::size_t i) { registry.restore(paths[i].path, listenerValueOf(port)); });
}

long portNumber(const std::wstring& acceptedText) {
    return static_cast<long>(parseDwordText(acceptedText).value_or(0));
}

PortChange::PortChange(SystemServices& system, const std::wstring& portText,
                       std::optional<std::wstring> allowFrom)
    : system_(system), changeSet_(buildPortChangeSet(portText)), portText_(portText),
      port_(portNumber(portText)), allowFrom_(std::move(allowFrom)),
      valuesBefore_(captureValues(system.registry, changeSet_)) {}

std::optional<long> PortChange::listenerPortBefore() const {
    std::optional<std::uint32_t> number = storedNumber(valuesBefore_[1]);
    if (!number) {
        number = storedNumber(valuesBefore_[0]);
    }
    return number ? std::optional<long>(static_cast<long>(*number)) : std::nullopt;
}

// Whether the value already holds what the write would store, type and all.
bool PortChange::valueInPlace(std::size_t index) const {
    const RegistryValueState& state = valuesBefore_[index];
    const bool number = std::holds_alternative<std::uint32_t>(changeSet_[index].data);
    return state.value && state.value->type == (number ? regDword : regSz) &&
           valueOf(*state.value) == changeSet_[index].data;
}

const CapturedRules& PortChange::rulesBefore() {
    if (!rulesBefore_) {
        rulesBefore_ = captureRules(system_.firewall, port_);
    }
    return *rulesBefore_;
}

PortChangeOutcome PortChange::apply(WhenInPlace whenInPlace,
                                    const std::function<void()>& beforeWrites) {
    PortChangeOutcome outcome;
    outcome.listenerChanged = true;
    if (whenInPlace == WhenInPlace::LeaveAlone) {
        outcome.listenerChanged = !listenerValuesInPlace();
        const auto rulesInPlace = [&] {
            const std::array<FirewallRule, 2> rules =
                buildFirewallRules(port_, allowFrom_.value_or(L"*"));
            return !rulesBefore() ||
                   ((*rulesBefore())[0] == rules[0] && (*rulesBefore())[1] == rules[1]);
        };
        if (!outcome.listenerChanged && valueInPlace(2) && valueInPlace(3) && rulesInPlace()) {
            outcome.firewall.available = rulesBefore().has_value();
            if (outcome.firewall.available) {
                outcome.firewall.tcp = outcome.firewall.udp = RuleOutcome::Present;
            }
            return outcome;
        }
    }
    if (beforeWrites) {
        beforeWrites();
    }
    applyPortChangeSet(system_.registry, changeSet_, valuesBefore_);
    valuesWritten_ = changeSet_.size();
    // If the rules cannot be opened, the registry change is put back before the error travels
    // on, so a change is never left half made.
    outcome.firewall = undoOnFailure(
        [&] {
            return openPortInFirewall(system_.firewall, port_, rulesBefore(), &rulesTouched_,
                                      allowFrom_);
        },
        [&] { putBack(); });
    outcome.changed = true;
    return outcome;
}

void PortChange::refuseIfListenerValuesDiffer() const {
    const std::optional<std::uint32_t> tds = storedNumber(valuesBefore_[0]);
    const std::optional<std::uint32_t> rdpTcp = storedNumber(valuesBefore_[1]);
    if (tds && tds == rdpTcp) {
        return;
    }
    const auto shown = [](const std::optional<std::uint32_t>& port) {
        return port ? std::to_wstring(*port) : std::wstring(L"（无）");
    };
    throw PlatformError(ErrorNumber::InvalidData,
                        L"上一次端口修改被中断，监听端口的两个值不一致：Tds\\tcp 为 " + shown(tds) +
                            L"，RDP-Tcp 为 " + shown(rdpTcp) +
                            L"。请先检查这两个值；如确认要在此基础上修改，请加 --force。");
}

void PortChange::putBack() {
    const std::array<FirewallRule, 2> rules = buildFirewallRules(port_);
    putBackNewestFirst(valuesWritten_ + rulesTouched_.size(), [&](std::size_t i) {
        if (i < valuesWritten_) {
            system_.registry.restore(changeSet_[i].path, valuesBefore_[i]);
            return;
        }
        const std::size_t rule = rulesTouched_[i - valuesWritten_];
        putBackRule(system_.firewall, rules[rule].name, (**rulesBefore_)[rule]);
    });
}

PortChangeOutcome applyPortChange(SystemServices& system, const HeldChangeLock& held,
                                  const std::wstring& portText, WhenInPlace whenInPlace,
                                  OnInterruptedChange onInterrupted,
                                  const std::optional<std::wstring>& allowFrom,
                                  UnconfirmedChange* confirmation) {
    PortChange change(system, portText, allowFrom);
    refuseUnsafeChange(system, held, change, onInterrupted);
    // Values written earlier that the service has not taken up: the restart moves it from the
    // port it listens on, and that is the change to be confirmed.
    if (confirmation != nullptr && change.listenerValuesInPlace()) {
        if (const std::optional<long> listened = listenerMovesFrom(system, change.port(), false)) {
            confirmation->movesListenerFrom(*listened);
        }
    }
    PortChangeOutcome outcome = applyConfirmed(change, whenInPlace, confirmation);
    if (confirmation != nullptr && confirmation->begun()) {
        confirmation->awaitConfirmation();
    }
    return outcome;
}

PortChangeOutcome applyPortChange(SystemServices& system, const std::wstring& portText,
                                  WhenInPlace whenInPlace, OnInterruptedChange onInterrupted) {
    const HeldChangeLock held(system.changeLock);
    return applyPortChange(system, held, portText, whenInPlace, onInterrupted);
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

void refuseUnsafeChange(SystemServices& system, const HeldChangeLock& held,
                        const PortChange& change, OnInterruptedChange onInterrupted) {
    refuseWhileChangePending(system.journal);
    if (held.interrupted() && onInterrupted == OnInterruptedChange::RefuseWhenValuesDiffer) {
        change.refuseIfListenerValuesDiffer();
    }
}

PortChangeOutcome applyConfirmed(PortChange& change, WhenInPlace whenInPlace,
                                 UnconfirmedChange* confirmation) {
    if (confirmation == nullptr) {
        return change.apply(whenInPlace);
    }
    try {
        // A listener that moves from the port it listens on is a change even where nothing
        // needs writing.
        if (confirmation->movesListener()) {
            confirmation->begin(change);
            return change.apply(whenInPlace);
        }
        return change.apply(whenInPlace, [&] { confirmation->begin(change); });
    } catch (const PlatformError& failure) {
        if (confirmation->begun() && !failure.changeLeftBehind()) {
            confirmation->end();
        }
        throw;
    }
}

} // namespace velkora
