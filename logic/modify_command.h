#pragma once

#include <string>

#include "logic/main_window_view.h"
#include "logic/restart_command.h"
#include "platform/platform.h"

namespace velkora {

extern const std::wstring confirmationPrompt;

// What the button "修改" does: validate, warn if the listener could not open the new port,
// write the change, open the firewall, ask about the restart. Platform errors travel up to the
// caller.
void runModifyCommand(MainWindowView& window, Platform& platform);

} // namespace velkora
