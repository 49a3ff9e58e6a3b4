#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "logic/undo.h"
#include "platform/platform_error.h"
#include "platform/registry.h"

namespace velkora {

// One value a change writes: the listener's as the port number, an open-port entry as text.
struct RegistryWrite {
    std::wstring path;
    RegistryValue data;

    bool operator==(const RegistryWrite&) const = default;
};

// The four writes of one port change, in the order they are made.
using PortChangeSet = std::array<RegistryWrite, 4>;

// Takes an accepted port text, used exactly as typed in the entries ("080" stays "080"); the
// listener's values get the number it denotes (80).
PortChangeSet buildPortChangeSet(const std::wstring& portText);

// What the four paths hold before the change, in the order of the writes: read once, to tell
// whether the change is in place and to put it back.
std::vector<RegistryValueState> captureValues(Registry& registry, const PortChangeSet& changeSet);

// Puts back the first count values as captured, newest first. Tries every one, then raises
// the first failure.
void putBackValues(Registry& registry, const PortChangeSet& changeSet,
                   const std::vector<RegistryValueState>& before, std::size_t count);

// Writes 1 to 4 in order, each after the one before has returned. If one fails, every
// value already written is put back as captured before the error travels on, so a failed
// change leaves the registry as it was; if putting back fails too, the error raised says both.
void applyPortChangeSet(Registry& registry, const PortChangeSet& changeSet,
                        const std::vector<RegistryValueState>& before);

} // namespace velkora
