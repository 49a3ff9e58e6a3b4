#pragma once

#include <optional>

#include "platform/shell_object.h"

namespace velkora {

// Where the tool reads the listener's port: every reader goes through here.

// The listener's first value as stored (a number, or a text where someone stored one);
// raises the read's failure.
RegistryValue readListenerPortValue(ShellObject& shell);

// The port in the Tds value, the window's current port; none when that value is missing, not
// a number, or cannot be read.
std::optional<long> currentListenerPort(ShellObject& shell);

// The port Remote Desktop listens on, the command line's current port: the RDP-Tcp value,
// or where that holds no number, the Tds value; none when neither does.
std::optional<long> listeningPort(ShellObject& shell);

// Both values as numbers, each absent when it cannot be read as one, and the port Remote
// Desktop listens on as above. Raises the RDP-Tcp value's failure (a value of another type is
// invalid data, 13) when neither holds a number.
struct ListenerPortValues {
    long listening = 0;
    std::optional<long> tds;
    std::optional<long> rdpTcp;
};
ListenerPortValues readListenerPortValues(ShellObject& shell);

} // namespace velkora
