#include "logic/port_change_set.h"

#include "logic/listener_paths.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace velkora {
namespace {

const std::wstring firewallPolicy =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\";
const std::wstring standardProfileOpenPortsList =
    firewallPolicy + L"StandardProfile\\GloballyOpenPorts\\List";
const std::wstring domainProfileOpenPortsList =
    firewallPolicy + L"DomainProfile\\GloballyOpenPorts\\List";

std::vector<RegistryValueState> captureAll(ShellObject& shell, const PortChangeSet& changeSet) {
    std::vector<RegistryValueState> states;
    states.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        states.push_back(shell.capture(write.path));
    }
    return states;
}

// Puts back what the writes made so far replaced, newest first.
void restoreWritten(ShellObject& shell, const std::vector<RegistryWrite>& written,
                    const std::vector<RegistryValueState>& before) {
    putBackNewestFirst(written.size(),
                       [&](std::size_t i) { shell.restore(written[i].path, before[i]); });
}

} // namespace

PortChangeSet buildPortChangeSet(const std::wstring& portText) {
    const std::wstring listenerData = L" " + portText + L" ";
    const std::wstring openPortName = portText + L":TCP ";
    const std::wstring openPortRecord = portText + L":TCP:*:Enabled:" + portText;
    return {{
        {listenerTdsPortPath, listenerData, L"REG_DWORD"},
        {listenerRdpTcpPortPath, listenerData, L"REG_DWORD"},
        {standardProfileOpenPortsList + L"\\" + openPortName, openPortRecord, L"REG_SZ"},
        {domainProfileOpenPortsList + L"\\" + openPortName, openPortRecord, L"REG_SZ"},
    }};
}

void PortChangeUndo::rollback(ShellObject& shell) const {
    restoreWritten(shell, written_, before_);
}

PortChangeUndo applyPortChangeSet(ShellObject& shell, const PortChangeSet& changeSet) {
    const std::vector<RegistryValueState> before = captureAll(shell, changeSet);

    std::vector<RegistryWrite> written;
    written.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        // Only a write that succeeded is recorded for undoing: a failed write changed
        // nothing (the service removes any key it created on the way), and undoing it
        // would meet the same refusal and report a put-back failure that never happened.
        undoOnFailure([&] { shell.regwrite(write.path, write.data, write.typeName); },
                      [&] { restoreWritten(shell, written, before); });
        written.push_back(write);
    }
    return PortChangeUndo(std::move(written), before);
}

} // namespace velkora
