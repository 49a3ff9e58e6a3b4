#pragma once

#include <optional>
#include <string>
#include <vector>

#include "logic/listener_settings.h"
#include "platform/message_box.h"
#include "platform/port_probe.h"

namespace velkora {

// Whether the Remote Desktop listener could open a port.
enum class PortCheckResult {
    Free,     // every trial bind succeeded, or only the Remote Desktop service holds the port
    InUse,    // another program listens on it or has it bound
    Reserved, // the system refused the bind and nobody holds it (an excluded range), or the
              // bind failed for a reason the check does not know (bindError says which)
    Same,     // the listener's current port: nothing to check
};

// "free", "inUse", "reserved", "same".
const char* portCheckResultName(PortCheckResult result);

// The process behind one or more sockets on the port, once per protocol and process.
struct PortOwner {
    PortProtocol protocol = PortProtocol::Tcp;
    unsigned long pid = 0;
    std::wstring image; // file name only; empty when it cannot be named
    std::vector<std::wstring> services;

    bool operator==(const PortOwner&) const = default;
};

// "TCP" or "UDP".
const char* portProtocolName(PortProtocol protocol);

struct PortCheck {
    long port = 0;
    PortCheckResult result = PortCheckResult::Free;
    int bindError = 0; // the first refused bind's Winsock error; 0 if none or not probed
    std::vector<PortOwner> owners;
    bool dynamicRange = false; // 49152 to 65535
    std::wstring listener;     // in use by this other Remote Desktop listener; empty if none

    // Reserved because of a bind error other than the one an excluded range gives.
    bool unknownError() const {
        return result == PortCheckResult::Reserved && bindError != BindError::AccessDenied;
    }
};

constexpr long dynamicRangeFirst = 49152;
constexpr long dynamicRangeLast = 65535;

bool inDynamicRange(long port);

// Checks a port before it is written. currentPort is the port the listener is configured
// for now, if known; the same port is not probed.
// Another Remote Desktop listener (not RDP-Tcp) on the port makes it in use, named.
PortCheck checkPortAvailability(PortProbe& probe, long port, std::optional<long> currentPort,
                                const std::vector<RemoteDesktopListener>& listeners = {});

// How an owner is named in the warning: its image, then its services in parentheses;
// "System" for process 4; "其他程序" when nothing names it.
std::wstring ownerDisplayName(const PortOwner& owner);

// The warning for a port in use or reserved (empty for free and same), lines joined by CR LF:
//   in use:   端口 P 已被 NAME（进程 PID）占用，远程桌面将无法在此端口监听。
//   or, by another listener: 端口 P 已被远程桌面的另一个监听器 NAME
//   使用，两个监听器不能共用一个端口。
//             (the first nameable owner; "其他程序" and no "（进程 PID）" when no id is known)
//   reserved: 端口 P 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。
//   then, for P from 49152 to 65535 only:
//             该端口属于动态端口范围（49152-65535），系统从中为出站连接分配端口，保留范围也多在其中。
//   and last: 仍要修改吗？
std::wstring lockoutWarningText(const PortCheck& check);

// Shows the warning box for a port in use or reserved and returns whether to go on; true
// at once for a free or the same port. No (or closing the box) means stop.
bool confirmLockoutRisk(const PortCheck& check, MessageBoxService& messages);

} // namespace velkora
