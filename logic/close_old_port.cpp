#include "logic/close_old_port.h"

#include "logic/firewall_rules.h"
#include "logic/port_change_set.h"
#include "logic/undo.h"

namespace velkora {

const std::wstring remoteDesktopRuleGroup = L"@FirewallAPI.dll,-28752";

namespace {

constexpr long inbound = 1;

// The paths of the two legacy open-port entries of the port.
std::vector<std::wstring> openPortEntryPaths(long port) {
    const PortChangeSet writes = buildPortChangeSet(std::to_wstring(port));
    return {writes[2].path, writes[3].path};
}

// The steps of a closing in the order they are taken: rules removed, rules disabled, entries
// removed. Each can be taken and put back on its own.
struct ClosingSteps {
    SystemServices& system;
    ShellObject& shell;
    const OldPortClosing& closing;

    std::size_t count() const {
        return closing.removedRules.size() + closing.disabledRules.size() +
               closing.openPortEntries.size();
    }

    void take(std::size_t i) {
        visit(
            i, [&](const FirewallRule& rule) { system.firewall.remove(rule.name); },
            [&](const FirewallRule& rule) { system.firewall.setEnabled(rule.name, false); },
            [&](const std::wstring& path, const RegistryValueState& before) {
                if (before.value) {
                    shell.restore(path, RegistryValueState{});
                }
            });
    }

    void putBack(std::size_t i) {
        visit(
            i, [&](const FirewallRule& rule) { system.firewall.put(rule); },
            [&](const FirewallRule& rule) { system.firewall.setEnabled(rule.name, true); },
            [&](const std::wstring& path, const RegistryValueState& before) {
                if (before.value) {
                    shell.restore(path, before);
                }
            });
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
        entry(openPortEntryPaths(closing.port)[i], closing.openPortEntries[i]);
    }
};

} // namespace

OldPortClosing planOldPortClosing(SystemServices& system, ShellObject& shell, long port) {
    OldPortClosing closing;
    closing.port = port;
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
    for (const std::wstring& path : openPortEntryPaths(port)) {
        closing.openPortEntries.push_back(shell.capture(path));
    }
    return closing;
}

void closeOldPort(SystemServices& system, ShellObject& shell, const OldPortClosing& closing) {
    ClosingSteps steps{system, shell, closing};
    std::size_t taken = 0;
    undoOnFailure(
        [&] {
            for (; taken < steps.count(); ++taken) {
                steps.take(taken);
            }
        },
        [&] { putBackNewestFirst(taken, [&](std::size_t i) { steps.putBack(i); }); });
}

void reopenOldPort(SystemServices& system, ShellObject& shell, const OldPortClosing& closing) {
    ClosingSteps steps{system, shell, closing};
    putBackNewestFirst(steps.count(), [&](std::size_t i) { steps.putBack(i); });
}

} // namespace velkora
