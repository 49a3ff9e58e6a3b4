#include "logic/close_old_port.h"

#include <algorithm>
#include <cstdint>

#include "logic/firewall_rules.h"
#include "logic/port_change_set.h"
#include "logic/undo.h"

namespace velkora {

const std::wstring remoteDesktopRuleGroup = L"@FirewallAPI.dll,-28752";

namespace {

constexpr long inbound = 1;

std::wstring entryPortText(const OldPortClosing& closing) {
    return closing.portText.empty() ? std::to_wstring(closing.port) : closing.portText;
}

// The two legacy open-port entries of the port, as a change with that port text writes them.
std::vector<RegistryWrite> openPortEntryWrites(const std::wstring& portText) {
    const PortChangeSet writes = buildPortChangeSet(portText);
    return {writes[2], writes[3]};
}

// An entry is the tool's only when it holds exactly what the tool writes; an administrator's
// entry of the same name is left alone.
RegistryValueState ownEntry(Registry& registry, const RegistryWrite& write) {
    RegistryValueState state = registry.capture(write.path);
    if (state.value && valueOf(*state.value) != write.data) {
        return RegistryValueState{};
    }
    return state;
}

// The steps of a closing in the order they are taken: rules removed, rules disabled, entries
// removed. Each can be taken and put back on its own.
struct ClosingSteps {
    SystemServices& system;
    Registry& registry;
    const OldPortClosing& closing;

    std::size_t count() const {
        return closing.removedRules.size() + closing.disabledRules.size() +
               closing.openPortEntries.size();
    }

    // Each rule is the one planned, field for field, whatever other rules bear its name; one
    // that changed since it was planned is not touched, and the closing stops there.
    void take(std::size_t i) {
        visit(
            i, [&](const FirewallRule& rule) { changed(system.firewall.removeMatching(rule)); },
            [&](const FirewallRule& rule) {
                changed(system.firewall.setEnabledMatching(rule, false));
            },
            [&](const std::wstring& path, const RegistryValueState& before) {
                if (before.value) {
                    registry.restore(path, RegistryValueState{});
                }
            });
    }

    // A rule already back as it was is left alone.
    void putBack(std::size_t i) {
        visit(
            i,
            [&](const FirewallRule& rule) {
                if (!isThere(rule)) {
                    system.firewall.add(rule);
                }
            },
            [&](const FirewallRule& rule) {
                FirewallRule disabled = rule;
                disabled.enabled = false;
                if (!isThere(rule)) {
                    system.firewall.setEnabledMatching(disabled, true);
                }
            },
            [&](const std::wstring& path, const RegistryValueState& before) {
                if (before.value) {
                    registry.restore(path, before);
                }
            });
    }

    static void changed(bool found) {
        if (!found) {
            throw PlatformError(ErrorNumber::FileNotFoundResult,
                                L"防火墙规则在计划关闭旧端口之后已被更改，未关闭。");
        }
    }

    bool isThere(const FirewallRule& rule) {
        const std::vector<FirewallRule> all = system.firewall.allRules();
        return std::find(all.begin(), all.end(), rule) != all.end();
    }

    template <typename Removed, typename Disabled, typename Entry>
    void visit(std::size_t i, Removed removed, Disabled disabled, Entry entry) {
        if (i < closing.removedRules.size()) {
            removed(closing.removedRules[i]);
            return;
        }
        i -= closing.removedRules.size();
        if (i < closing.disabledRules.size()) {
            disabled(closing.disabledRules[i]);
            return;
        }
        i -= closing.disabledRules.size();
        entry(openPortEntryWrites(entryPortText(closing))[i].path, closing.openPortEntries[i]);
    }
};

} // namespace

OldPortClosing planOldPortClosing(SystemServices& system, long port) {
    OldPortClosing closing;
    closing.port = port;
    closing.portText = std::to_wstring(port);
    if (system.firewall.available()) {
        for (const FirewallRule& ours : buildFirewallRules(port)) {
            if (std::optional<FirewallRule> rule = system.firewall.find(ours.name)) {
                closing.removedRules.push_back(*rule);
            }
        }
        const std::wstring portText = std::to_wstring(port);
        for (const FirewallRule& rule : system.firewall.allRules()) {
            if (rule.grouping == remoteDesktopRuleGroup && rule.direction == inbound &&
                rule.enabled && rule.localPorts == portText) {
                closing.disabledRules.push_back(rule);
            }
        }
    }
    for (const RegistryWrite& write : openPortEntryWrites(closing.portText)) {
        closing.openPortEntries.push_back(ownEntry(system.registry, write));
    }
    return closing;
}

void closeOldPort(SystemServices& system, const OldPortClosing& closing) {
    ClosingSteps steps{system, system.registry, closing};
    std::size_t taken = 0;
    undoOnFailure(
        [&] {
            for (; taken < steps.count(); ++taken) {
                steps.take(taken);
            }
        },
        [&] { putBackNewestFirst(taken, [&](std::size_t i) { steps.putBack(i); }); });
}

void reopenOldPort(SystemServices& system, const OldPortClosing& closing) {
    ClosingSteps steps{system, system.registry, closing};
    putBackNewestFirst(steps.count(), [&](std::size_t i) { steps.putBack(i); });
}

} // namespace velkora
