#include "logic/port_change_set.h"

#include "logic/decimal_text.h"
#include "logic/listener_paths.h"

#include <cstddef>
#include <cstdint>

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
    const std::uint32_t listenerData = parseDwordText(portText).value_or(0);
    const std::wstring openPortName = portText + L":TCP ";
    const std::wstring openPortRecord = portText + L":TCP:*:Enabled:" + portText;
    return {{
        {listenerTdsPortPath, listenerData},
        {listenerRdpTcpPortPath, listenerData},
        {standardProfileOpenPortsList + L"\\" + openPortName, openPortRecord},
        {domainProfileOpenPortsList + L"\\" + openPortName, openPortRecord},
    }};
}

std::vector<RegistryValueState> captureValues(Registry& registry, const PortChangeSet& changeSet) {
    std::vector<RegistryValueState> states;
    states.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        states.push_back(registry.capture(write.path));
    }
    return states;
}

void putBackValues(Registry& registry, const PortChangeSet& changeSet,
                   const std::vector<RegistryValueState>& before, std::size_t count) {
    putBackNewestFirst(count,
                       [&](std::size_t i) { registry.restore(changeSet[i].path, before[i]); });
}

void applyPortChangeSet(Registry& registry, const PortChangeSet& changeSet,
                        const std::vector<RegistryValueState>& before) {
    std::size_t written = 0;
    for (const RegistryWrite& write : changeSet) {
        // Only a write that succeeded is put back: a failed write changed nothing (the
        // service removes any key it created on the way), and undoing it would meet the same
        // refusal and report a put-back failure that never happened.
        undoOnFailure([&] { registry.write(write.path, write.data); },
                      [&] { putBackValues(registry, changeSet, before, written); });
        ++written;
    }
}

} // namespace velkora
