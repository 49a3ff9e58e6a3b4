#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "logic/undo.h"
#include "platform/platform_error.h"
#include "platform/shell_object.h"

namespace velkora {

struct RegistryWrite {
    std::wstring path;
    std::wstring data;
    std::wstring typeName; // "REG_DWORD" or "REG_SZ"

    bool operator==(const RegistryWrite& o) const {
        return path == o.path && data == o.data && typeName == o.typeName;
    }
};

// The four writes of one port change, in the order they are made.
using PortChangeSet = std::array<RegistryWrite, 4>;

// Takes an accepted port text, used exactly as typed ("080" stays "080").
PortChangeSet buildPortChangeSet(const std::wstring& portText);

// What the four paths hold before the change, in the order of the writes: read once, to tell
// whether the change is in place and to put it back.
std::vector<RegistryValueState> captureValues(ShellObject& shell, const PortChangeSet& changeSet);

// Puts back the first count values as captured, newest first. Tries every one, then raises
// the first failure.
void putBackValues(ShellObject& shell, const PortChangeSet& changeSet,
                   const std::vector<RegistryValueState>& before, std::size_t count);

// Writes 1 to 4 in order, each after the one before has returned. If one fails, every
// value already written is put back as captured before the error travels on, so a failed
// change leaves the registry as it was; if putting back fails too, the error raised says both.
void applyPortChangeSet(ShellObject& shell, const PortChangeSet& changeSet,
                        const std::vector<RegistryValueState>& before);

} // namespace velkora
