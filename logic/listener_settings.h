#pragma once

#include <optional>

#include "platform/shell_object.h"

namespace velkora {

// Where the tool reads the listener's port: every reader goes through here.

// The listener's first value as stored (a number, or a text where someone stored one);
// raises the read's failure.
RegistryValue readListenerPortValue(ShellObject& shell);

// The port the listener reads now, from its first value; none when that value is missing,
// not a number, or cannot be read.
std::optional<long> currentListenerPort(ShellObject& shell);

// Both values as numbers: the first must be one (a value of another type is invalid data,
// 13); the second is absent when it cannot be read as one.
struct ListenerPortValues {
    long tds = 0;
    std::optional<long> rdpTcp;
};
ListenerPortValues readListenerPortValues(ShellObject& shell);

} // namespace velkora
