#pragma once

#include <string>

#include "logic/firewall_rules.h"
#include "platform/platform.h"

namespace velkora {

// The value of an accepted port text: at most 65535 once its leading zeros are gone.
long portNumber(const std::wstring& acceptedText);

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

// The change itself, as both front-ends make it, through the caller's shell object: under
// the change lock, the four registry writes, then the firewall rules. If anything fails, everything
// already done is put back before the error travels on. In place means all four values hold what
// the change would write and both rules exist (or the modern firewall is not there).
PortChangeOutcome applyPortChange(Platform& platform, ShellObject& shell,
                                  const std::wstring& portText, WhenInPlace whenInPlace);

} // namespace velkora
