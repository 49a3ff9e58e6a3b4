#include "logic/listener_settings.h"

#include <cstdint>
#include <variant>

#include "logic/listener_paths.h"
#include "platform/platform_error.h"

namespace velkora {
namespace {

constexpr long invalidData = 13;

long portNumberOf(const RegistryValue& value) {
    if (const auto* number = std::get_if<std::uint32_t>(&value)) {
        return static_cast<long>(*number);
    }
    throw PlatformError(invalidData, L"数据无效。");
}

} // namespace

RegistryValue readListenerPortValue(ShellObject& shell) {
    return shell.regread(listenerTdsPortPath);
}

std::optional<long> currentListenerPort(ShellObject& shell) {
    // Not knowing the current port only means the port is checked even if it is the same.
    try {
        return portNumberOf(readListenerPortValue(shell));
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

std::optional<long> listeningPort(ShellObject& shell) {
    try {
        return readListenerPortValues(shell).listening;
    } catch (const PlatformError&) {
        return std::nullopt;
    }
}

ListenerPortValues readListenerPortValues(ShellObject& shell) {
    ListenerPortValues values;
    values.tds = currentListenerPort(shell);
    try {
        values.rdpTcp = portNumberOf(shell.regread(listenerRdpTcpPortPath));
        values.listening = *values.rdpTcp;
    } catch (const PlatformError&) {
        if (!values.tds) {
            throw;
        }
        values.listening = *values.tds;
    }
    return values;
}

} // namespace velkora
