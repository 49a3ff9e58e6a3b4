#include "logic/listener_settings.h"

#include <algorithm>
#include <cstdint>
#include <variant>

#include "logic/listener_paths.h"
#include "platform/error_record.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

long portNumberOf(const RegistryValue& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return static_cast<long>(*number);
    }
    throw PlatformError(ErrorNumber::InvalidData, L"数据无效。");
}

const std::wstring winStationsKey =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations";

std::optional<long> numberAt(ShellObject& shell, const std::wstring& path) {
    try {
        return portNumberOf(shell.regread(path));
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

} // namespace

const std::wstring rdpTcpListenerName = L"RDP-Tcp";

bool sameListenerName(const std::wstring& a, const std::wstring& b) {
    const auto lower = [](wchar_t c) {
        return c >= L'A' && c <= L'Z' ? c + 32 : c;
    };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](wchar_t x, wchar_t y) { return lower(x) == lower(y); });
}

const RemoteDesktopListener* listenerOfSession(const std::vector<RemoteDesktopListener>& listeners,
                                               const std::wstring& winStationName) {
    const std::size_t hash = winStationName.find(L'#');
    if (hash == std::wstring::npos) {
        return nullptr;
    }
    const std::wstring name = winStationName.substr(0, hash);
    for (const RemoteDesktopListener& listener : listeners) {
        if (sameListenerName(listener.name, name)) {
            return &listener;
        }
    }
    return nullptr;
}

std::vector<RemoteDesktopListener> readListeners(SystemInfo& info, ShellObject& shell) {
    std::vector<RemoteDesktopListener> listeners;
    for (const std::wstring& name : info.subkeyNames(winStationsKey)) {
        const std::wstring key = winStationsKey + L"\\" + name + L"\\";
        const std::optional<long> port = numberAt(shell, key + L"PortNumber");
        if (!port) {
            continue;
        }
        RemoteDesktopListener listener;
        listener.name = name;
        listener.port = *port;
        listener.enabled = numberAt(shell, key + L"fEnableWinStation").value_or(1) != 0;
        listener.securityLayer = numberAt(shell, key + L"SecurityLayer");
        if (const std::optional<long> nla = numberAt(shell, key + L"UserAuthentication")) {
            listener.nlaRequired = *nla != 0;
        }
        listeners.push_back(listener);
    }
    return listeners;
}

std::vector<RemoteDesktopListener> listenersIfReadable(SystemInfo& info, ShellObject& shell) {
    try {
        return readListeners(info, shell);
    } catch (const PlatformError& failure) {
        keepPassedOver(failure);
        return {};
    }
}

bool movesTheOnlyListenerWithoutNla(const std::vector<RemoteDesktopListener>& listeners) {
    const RemoteDesktopListener* only = nullptr;
    for (const RemoteDesktopListener& listener : listeners) {
        if (listener.enabled) {
            if (only != nullptr) {
                return false;
            }
            only = &listener;
        }
    }
    return only != nullptr && only->name == rdpTcpListenerName && only->nlaRequired == false;
}

RegistryValue readListenerPortValue(ShellObject& shell) {
    return shell.regread(listenerTdsPortPath);
}

std::optional<long> currentListenerPort(ShellObject& shell) {
    // Not knowing the current port only means the port is checked even if it is the same.
    try {
        return portNumberOf(readListenerPortValue(shell));
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

std::optional<long> listeningPort(ShellObject& shell) {
    try {
        return readListenerPortValues(shell).listening;
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

ListenerPortValues readListenerPortValues(ShellObject& shell) {
    ListenerPortValues values;
    values.tds = currentListenerPort(shell);
    try {
        values.rdpTcp = portNumberOf(shell.regread(listenerRdpTcpPortPath));
        values.listening = *values.rdpTcp;
    } catch (const PlatformError& failure) {
        if (!values.tds) {
            throw;
        }
        keepPassedOverUnlessAbsent(failure);
        values.listening = *values.tds;
    }
    return values;
}

} // namespace velkora
