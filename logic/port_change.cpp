#include "logic/port_change.h"

#include <cstdint>

#include "logic/decimal_text.h"
#include "logic/port_change_set.h"
#include "logic/undo.h"

namespace velkora {
namespace {

constexpr std::uint32_t regSz = 1;
constexpr std::uint32_t regDword = 4;

// The text of stored REG_SZ bytes (UTF-16LE), without its terminating NULs.
std::wstring storedText(const std::vector<std::uint8_t>& bytes) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

std::uint32_t storedNumber(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                                      (static_cast<std::uint32_t>(bytes[3]) << 24));
}

// Whether the value already holds what the write would store (the data of a REG_DWORD
// write is the port text between two spaces).
bool holdsWhatWouldBeWritten(const RegistryValueState& state, const RegistryWrite& write) {
    if (!state.value) {
        return false;
    }
    const StoredRegistryValue& stored = *state.value;
    if (write.typeName == L"REG_DWORD") {
        return stored.type == regDword && stored.bytes.size() == 4 &&
               static_cast<long>(storedNumber(stored.bytes)) ==
                   portNumber(write.data.substr(1, write.data.size() - 2));
    }
    return stored.type == regSz && storedText(stored.bytes) == write.data;
}

// Which of the four values already hold what the change would write.
std::array<bool, 4> valuesInPlace(ShellObject& shell, const PortChangeSet& changeSet) {
    std::array<bool, 4> inPlace{};
    for (std::size_t i = 0; i < changeSet.size(); ++i) {
        inPlace[i] = holdsWhatWouldBeWritten(shell.capture(changeSet[i].path), changeSet[i]);
    }
    return inPlace;
}

bool rulesInPlace(Firewall& firewall, long port) {
    const std::optional<std::array<bool, 2>> rules = firewallRulesPresent(firewall, port);
    return !rules || ((*rules)[0] && (*rules)[1]);
}

// Opens the port in the firewall; if that fails, the registry change is undone before the
// error travels on, so a change is never left half made.
FirewallOutcome openPortOrUndoChange(Platform& platform, ShellObject& shell,
                                     const PortChangeUndo& undo, long port) {
    return undoOnFailure([&] { return openPortInFirewall(platform.firewall, port); },
                         [&] { undo.rollback(shell); });
}

} // namespace

long portNumber(const std::wstring& acceptedText) {
    return static_cast<long>(parseDwordText(acceptedText).value_or(0));
}

PortChangeOutcome applyPortChange(Platform& platform, ShellObject& shell,
                                  const std::wstring& portText, WhenInPlace whenInPlace) {
    const HeldChangeLock held(platform.changeLock);
    const PortChangeSet changeSet = buildPortChangeSet(portText);
    const long port = portNumber(portText);

    PortChangeOutcome outcome;
    outcome.listenerChanged = true;
    if (whenInPlace == WhenInPlace::LeaveAlone) {
        const std::array<bool, 4> inPlace = valuesInPlace(shell, changeSet);
        outcome.listenerChanged = !inPlace[0] || !inPlace[1];
        if (!outcome.listenerChanged && inPlace[2] && inPlace[3] &&
            rulesInPlace(platform.firewall, port)) {
            outcome.firewall.available = platform.firewall.available();
            if (outcome.firewall.available) {
                outcome.firewall.tcp = outcome.firewall.udp = RuleOutcome::Present;
            }
            return outcome;
        }
    }
    const PortChangeUndo undo = applyPortChangeSet(shell, changeSet);
    outcome.firewall = openPortOrUndoChange(platform, shell, undo, port);
    outcome.changed = true;
    return outcome;
}

} // namespace velkora
