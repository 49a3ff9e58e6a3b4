#include "logic/port_change_set.h"

#include "logic/listener_paths.h"

#include <cstddef>
#include <optional>
#include <utility>

namespace velkora {
namespace {

const std::wstring standardProfileOpenPortsList =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\StandardProfile\\GloballyOpenPorts\\List";
const std::wstring domainProfileOpenPortsList =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\DomainProfile\\GloballyOpenPorts\\List";

std::vector<RegistryValueState> captureAll(ShellObject& shell, const PortChangeSet& changeSet) {
    std::vector<RegistryValueState> states;
    states.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        states.push_back(shell.capture(write.path));
    }
    return states;
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
    std::optional<PlatformError> firstFailure;
    for (std::size_t i = written_.size(); i-- > 0;) {
        try {
            shell.restore(written_[i].path, before_[i]);
        } catch (const PlatformError& failure) {
            if (!firstFailure) {
                firstFailure = failure;
            }
        }
    }
    if (firstFailure) {
        throw *firstFailure;
    }
}

PortChangeUndo applyPortChangeSet(ShellObject& shell, const PortChangeSet& changeSet) {
    const std::vector<RegistryValueState> before = captureAll(shell, changeSet);

    std::vector<RegistryWrite> written;
    written.reserve(changeSet.size());
    for (const RegistryWrite& write : changeSet) {
        // Only a write that succeeded is recorded for undoing: a failed write changed
        // nothing (the service removes any key it created on the way), and undoing it
        // would meet the same refusal and report a put-back failure that never happened.
        try {
            shell.regwrite(write.path, write.data, write.typeName);
        } catch (const PlatformError& original) {
            const PortChangeUndo partial(
                written,
                std::vector<RegistryValueState>(before.begin(), before.begin() + written.size()));
            try {
                partial.rollback(shell);
            } catch (const PlatformError& rollbackFailure) {
                throw combineWithRollbackFailure(original, rollbackFailure);
            }
            throw;
        }
        written.push_back(write);
    }
    return PortChangeUndo(std::move(written), before);
}

PlatformError combineWithRollbackFailure(const PlatformError& original,
                                         const PlatformError& rollbackFailure) {
    return PlatformError(original.number(), original.description() + L"\r\n恢复原值失败（错误 " +
                                                errorNumberText(rollbackFailure.number()) +
                                                L"）：" + rollbackFailure.description());
}

} // namespace velkora
