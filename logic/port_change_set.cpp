#include "logic/port_change_set.h"

#include "logic/listener_paths.h"

#include <cstddef>

namespace velkora {
namespace {

const std::wstring firewallPolicy =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\";
const std::wstring standardProfileOpenPortsList =
    firewallPolicy + L"StandardProfile\\GloballyOpenPorts\\List";
const std::wstring domainProfileOpenPortsList =
    firewallPolicy + L"DomainProfile\\GloballyOpenPorts\\List";

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

std::vector<RegistryValueState> captureValues(ShellObject& shell, const PortChangeSet& changeSet) {
    std::vector<RegistryValueState> states;
    states.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        states.push_back(shell.capture(write.path));
    }
    return states;
}

void putBackValues(ShellObject& shell, const PortChangeSet& changeSet,
                   const std::vector<RegistryValueState>& before, std::size_t count) {
    putBackNewestFirst(count, [&](std::size_t i) { shell.restore(changeSet[i].path, before[i]); });
}

void applyPortChangeSet(ShellObject& shell, const PortChangeSet& changeSet,
                        const std::vector<RegistryValueState>& before) {
    std::size_t written = 0;
    for (const RegistryWrite& write : changeSet) {
        // Only a write that succeeded is put back: a failed write changed nothing (the
        // service removes any key it created on the way), and undoing it would meet the same
        // refusal and report a put-back failure that never happened.
        undoOnFailure([&] { shell.regwrite(write.path, write.data, write.typeName); },
                      [&] { putBackValues(shell, changeSet, before, written); });
        ++written;
    }
}

} // namespace velkora
