#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "logic/firewall_rules.h"
#include "logic/port_change_set.h"
#include "platform/platform.h"

namespace velkora {

// The value of an accepted port text: at most 65535 once its leading zeros are gone.
long portNumber(const std::wstring& acceptedText);

// A listener value holding the port, as a REG_DWORD.
RegistryValueState listenerValueOf(long port);

// Writes the port into the listener's two values, the last first, as a put-back does.
void putListenerBackOn(Registry& registry, long port);

// Whether a change to the port already fully in place is made again (the window's Modify
// writes every time) or left alone (the command line reports that nothing changed).
enum class WhenInPlace { Rewrite, LeaveAlone };

struct PortChangeOutcome {
    bool changed = false;
    // The listener's two values held another port before: the listener takes the new one only
    // after a restart. Always true with Rewrite, which does not look.
    bool listenerChanged = false;
    FirewallOutcome firewall;
};

// One change of the port, as both front-ends make it: what the four registry values and the
// two firewall rules hold before it, each read once (under the change lock, which the caller
// holds for as long as the change lives); what it wrote; and how to put that back.
class PortChange {
public:
    // allowFrom: the remote addresses the rules are to let in (the firewall's text), if asked.
    PortChange(SystemServices& system, const std::wstring& portText,
               std::optional<std::wstring> allowFrom = std::nullopt);

    long port() const { return port_; }
    // The port as typed: the open-port entries are named and filled with it.
    const std::wstring& portText() const { return portText_; }

    // Whether the listener's two values hold the port already (written earlier, maybe without
    // a restart since).
    bool listenerValuesInPlace() const { return valueInPlace(0) && valueInPlace(1); }

    // The port Remote Desktop listened on before the change: the RDP-Tcp value, else the Tds
    // value, if either held a number.
    std::optional<long> listenerPortBefore() const;

    // The four writes, then the firewall rules; with LeaveAlone, nothing at all when all four
    // values hold what the change would write and both rules exist (or the modern firewall is
    // not there). If anything fails, everything already done is put back before the error
    // travels on. beforeWrites runs once it is certain that something will be written.
    PortChangeOutcome apply(WhenInPlace whenInPlace,
                            const std::function<void()>& beforeWrites = nullptr);

    // What the four values held before, in the order of the writes; and the two rules.
    const std::vector<RegistryValueState>& valuesBefore() const { return valuesBefore_; }
    const CapturedRules& rulesBefore();

    // After a change that was interrupted: raises (13, saying what to check) when the
    // listener's two values, as read, hold different ports. Nothing has been written then.
    void refuseIfListenerValuesDiffer() const;

    // Puts back everything apply did, newest first: the rules it touched, then the values.
    // Tries every one, then raises the first failure.
    void putBack();

private:
    bool valueInPlace(std::size_t index) const;

    SystemServices& system_;
    PortChangeSet changeSet_;
    std::wstring portText_;
    long port_;
    std::optional<std::wstring> allowFrom_;
    std::vector<RegistryValueState> valuesBefore_;
    std::optional<CapturedRules> rulesBefore_; // read when first needed
    std::size_t valuesWritten_ = 0;
    std::vector<std::size_t> rulesTouched_; // 0 TCP, 1 UDP, in the order they were put
};

// What to do when the change lock was left by a holder that ended while it held it: that
// change may have written one listener value and not the other.
enum class OnInterruptedChange {
    GoOn,                   // build on what is there (the window; the command line's --force)
    RefuseWhenValuesDiffer, // refuse while the listener's two values hold different ports
};

class UnconfirmedChange;

// The change on its own, under the change lock the caller holds: refused while another change waits
// for confirmation, read once, then applied. With a confirmation, its journal and watcher are there
// before the first write, and the change awaits confirmation once it is made.
PortChangeOutcome applyPortChange(SystemServices& system, const HeldChangeLock& held,
                                  const std::wstring& portText, WhenInPlace whenInPlace,
                                  OnInterruptedChange onInterrupted = OnInterruptedChange::GoOn,
                                  const std::optional<std::wstring>& allowFrom = std::nullopt,
                                  UnconfirmedChange* confirmation = nullptr);

// The same, taking the change lock for itself: the window's Modify, which asks nothing else
// under it.
PortChangeOutcome applyPortChange(SystemServices& system, const std::wstring& portText,
                                  WhenInPlace whenInPlace,
                                  OnInterruptedChange onInterrupted = OnInterruptedChange::GoOn);

// Raises PlatformError 1618, saying what waits and how to end it, while a change waits for
// confirmation: no other change is built on top of it. Under the change lock.
void refuseWhileChangePending(ChangeJournal& journal);

// Under the lock, before anything is written: refuses a change on top of one that waits for
// confirmation (1618), and after an interrupted change, as onInterrupted says.
void refuseUnsafeChange(SystemServices& system, const HeldChangeLock& held,
                        const PortChange& change, OnInterruptedChange onInterrupted);

// Applies the change; with a confirmation, begins it before the first write. A failure that
// left nothing behind ends the confirmation; one that did leaves it to its watcher.
PortChangeOutcome applyConfirmed(PortChange& change, WhenInPlace whenInPlace,
                                 UnconfirmedChange* confirmation);

} // namespace velkora
