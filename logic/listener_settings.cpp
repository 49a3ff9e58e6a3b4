#include "logic/listener_settings.h"

#include <algorithm>

#include "logic/listener_paths.h"
#include "platform/error_record.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

const std::wstring winStationsKey =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations";

std::optional<long> numberAt(Registry& registry, const std::wstring& path) {
    try {
        return static_cast<long>(registry.readNumber(path));
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

std::vector<RemoteDesktopListener> readListeners(SystemInfo& info, Registry& registry) {
    std::vector<RemoteDesktopListener> listeners;
    for (const std::wstring& name : info.subkeyNames(winStationsKey)) {
        const std::wstring key = winStationsKey + L"\\" + name + L"\\";
        const std::optional<long> port = numberAt(registry, key + L"PortNumber");
        if (!port) {
            continue;
        }
        RemoteDesktopListener listener;
        listener.name = name;
        listener.port = *port;
        listener.enabled = numberAt(registry, key + L"fEnableWinStation").value_or(1) != 0;
        listener.securityLayer = numberAt(registry, key + L"SecurityLayer");
        if (const std::optional<long> nla = numberAt(registry, key + L"UserAuthentication")) {
            listener.nlaRequired = *nla != 0;
        }
        listeners.push_back(listener);
    }
    return listeners;
}

std::vector<RemoteDesktopListener> listenersIfReadable(SystemInfo& info, Registry& registry) {
    try {
        return readListeners(info, registry);
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

RegistryValue readListenerPortValue(Registry& registry) {
    return registry.read(listenerTdsPortPath);
}

std::optional<long> tdsListenerPort(Registry& registry) {
    // Not knowing the current port only means the port is checked even if it is the same.
    try {
        return static_cast<long>(registry.readNumber(listenerTdsPortPath));
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

std::optional<long> listeningPort(Registry& registry) {
    try {
        return readListenerPortValues(registry).listening;
    } catch (const PlatformError& failure) {
        keepPassedOverUnlessAbsent(failure);
        return std::nullopt;
    }
}

ListenerPortValues readListenerPortValues(Registry& registry) {
    ListenerPortValues values;
    values.tds = tdsListenerPort(registry);
    try {
        values.rdpTcp = static_cast<long>(registry.readNumber(listenerRdpTcpPortPath));
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
