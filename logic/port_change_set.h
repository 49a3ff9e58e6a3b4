#pragma once

#include <array>
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

// What the registry held before a change was applied, to put it back.
class PortChangeUndo {
public:
    PortChangeUndo() = default;
    PortChangeUndo(std::vector<RegistryWrite> written, std::vector<RegistryValueState> before)
        : written_(std::move(written)), before_(std::move(before)) {}

    // Puts back every value written, newest first. Raises the first failure after trying
    // all of them.
    void rollback(ShellObject& shell) const;

private:
    std::vector<RegistryWrite> written_;
    std::vector<RegistryValueState> before_;
};

// Writes 1 to 4 in order, each after the one before has returned. If one fails, every
// value already written is put back before the error travels on, so a failed change leaves
// the registry as it was; if putting back fails too, the error raised says both.
// On success returns what is needed to undo the change.
PortChangeUndo applyPortChangeSet(ShellObject& shell, const PortChangeSet& changeSet);

} // namespace velkora
