#include "logic/lockout_guard.h"

#include <algorithm>

#include "platform/platform_error.h"

namespace velkora {
namespace {

constexpr unsigned long systemPid = 4;

const std::wstring unnamedOwner = L"其他程序";
const std::wstring dynamicRangeRemark =
    L"该端口属于动态端口范围（49152-65535），系统从中为出站连接分配端口，保留范围也多在其中。";
const std::wstring stillChangeQuestion = L"仍要修改吗？";

// One owner per protocol and process, in the order the sockets were listed.
std::vector<PortOwner> ownersOf(const std::vector<PortHolder>& holders) {
    std::vector<PortOwner> owners;
    for (const PortHolder& holder : holders) {
        const bool known = std::any_of(owners.begin(), owners.end(), [&](const PortOwner& o) {
            return o.protocol == holder.protocol && o.pid == holder.pid;
        });
        if (!known) {
            owners.push_back({holder.protocol, holder.pid, holder.image, holder.services});
        }
    }
    return owners;
}

bool sameIgnoringAsciiCase(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
               const auto lower = [](wchar_t c) {
                   return c >= L'A' && c <= L'Z' ? c + 32 : c;
               };
               return lower(x) == lower(y);
           });
}

bool isRemoteDesktopService(const std::wstring& name) {
    return sameIgnoringAsciiCase(name, L"TermService");
}

// The Remote Desktop service itself in a process of its own: it still listens on a port
// written before without a restart, and keeps it once it restarts. Where it shares its
// process with other services (a shared svchost), a socket of that process on another port
// may be any of theirs: it is not counted as the listener's.
bool isTheListener(const PortOwner& owner) {
    return owner.services.size() == 1 && isRemoteDesktopService(owner.services.front());
}

// The services of a shared process that hold the port: the others, not Remote Desktop.
void nameCoHostedServices(std::vector<PortOwner>& owners) {
    for (PortOwner& owner : owners) {
        if (owner.services.size() > 1) {
            owner.services.erase(std::remove_if(owner.services.begin(), owner.services.end(),
                                                isRemoteDesktopService),
                                 owner.services.end());
        }
    }
}

bool nameable(const PortOwner& owner) {
    return owner.pid == systemPid || !owner.image.empty();
}

// The owner the warning names: the first that has a name, else the first with a process id.
const PortOwner* ownerToName(const std::vector<PortOwner>& owners) {
    const auto named = std::find_if(owners.begin(), owners.end(), nameable);
    if (named != owners.end()) {
        return &*named;
    }
    const auto withPid =
        std::find_if(owners.begin(), owners.end(), [](const PortOwner& o) { return o.pid != 0; });
    return withPid != owners.end() ? &*withPid : nullptr;
}

// "nginx.exe（进程 1234）", "其他程序（进程 1234）", or "其他程序" when no process id is known.
std::wstring holderPhrase(const std::vector<PortOwner>& owners) {
    const PortOwner* owner = ownerToName(owners);
    if (owner == nullptr) {
        return unnamedOwner;
    }
    return ownerDisplayName(*owner) + L"（进程 " + std::to_wstring(owner->pid) + L"）";
}

} // namespace

const char* portCheckResultName(PortCheckResult result) {
    switch (result) {
    case PortCheckResult::Free:
        return "free";
    case PortCheckResult::InUse:
        return "inUse";
    case PortCheckResult::Reserved:
        return "reserved";
    case PortCheckResult::Same:
        return "same";
    }
    return "";
}

const char* portProtocolName(PortProtocol protocol) {
    return protocol == PortProtocol::Udp ? "UDP" : "TCP";
}

bool inDynamicRange(long port) {
    return port >= dynamicRangeFirst && port <= dynamicRangeLast;
}

PortCheck checkPortAvailability(PortProbe& probe, long port, std::optional<long> currentPort,
                                const std::vector<RemoteDesktopListener>& listeners) {
    PortCheck check;
    check.port = port;
    check.dynamicRange = inDynamicRange(port);
    if (currentPort == port) {
        check.result = PortCheckResult::Same;
        return check;
    }
    for (const RemoteDesktopListener& listener : listeners) {
        if (listener.port == port && !sameIgnoringAsciiCase(listener.name, rdpTcpListenerName)) {
            check.result = PortCheckResult::InUse;
            check.listener = listener.name;
            return check;
        }
    }
    check.bindError = probe.trialBind(port);
    if (check.bindError == BindError::None) {
        check.result = PortCheckResult::Free;
        return check;
    }
    check.owners = ownersOf(probe.holders(port));
    if (check.owners.empty()) {
        check.result = PortCheckResult::Reserved;
    } else if (std::all_of(check.owners.begin(), check.owners.end(), isTheListener)) {
        check.result = PortCheckResult::Free;
    } else {
        check.result = PortCheckResult::InUse;
        nameCoHostedServices(check.owners);
    }
    return check;
}

std::wstring ownerDisplayName(const PortOwner& owner) {
    std::wstring name = owner.pid == systemPid ? L"System" : owner.image;
    if (name.empty()) {
        return unnamedOwner;
    }
    if (!owner.services.empty()) {
        name += L"（";
        for (std::size_t i = 0; i < owner.services.size(); ++i) {
            name += (i == 0 ? L"" : L"、") + owner.services[i];
        }
        name += L"）";
    }
    return name;
}

std::wstring lockoutWarningText(const PortCheck& check) {
    const std::wstring port = std::to_wstring(check.port);
    std::wstring text;
    if (check.result == PortCheckResult::InUse && !check.listener.empty()) {
        text = L"端口 " + port + L" 已被远程桌面的另一个监听器 " + check.listener +
               L" 使用，两个监听器不能共用一个端口。";
    } else if (check.result == PortCheckResult::InUse) {
        text = L"端口 " + port + L" 已被 " + holderPhrase(check.owners) +
               L"占用，远程桌面将无法在此端口监听。";
    } else if (check.result == PortCheckResult::Reserved) {
        text = L"端口 " + port + L" 位于系统保留的端口范围内，远程桌面可能无法在此端口监听。";
    } else {
        return L"";
    }
    if (check.dynamicRange) {
        text += L"\r\n" + dynamicRangeRemark;
    }
    return text + L"\r\n" + stillChangeQuestion;
}

bool confirmLockoutRisk(const PortCheck& check, MessageBoxService& messages) {
    if (check.result != PortCheckResult::InUse && check.result != PortCheckResult::Reserved) {
        return true;
    }
    const int reply = messages.messageBox(
        lockoutWarningText(check), MessageBoxStyle::YesNoExclamationDefaultNo, applicationTitle);
    return reply == MessageBoxReply::Yes;
}

} // namespace velkora
