#pragma once

#include <optional>
#include <string>
#include <vector>

#include "logic/port_change_request.h"

namespace velkora::cli {

enum class Command { Status, Check, Set, Confirm, Rollback, Watch, Help, Version };

// One run of the command line, as asked: check and set take the change's fields.
struct Invocation : PortChangeRequest {
    Command command = Command::Help;
    bool json = false;

    bool operator==(const Invocation&) const = default;
};

struct ParsedArguments {
    std::optional<Invocation> invocation;
    std::wstring usageError; // why the arguments were refused, when no invocation
    bool json = false;       // --json was among them, refused or not
};

// The arguments after the program name. Command and option names ignore ASCII case;
// options may stand before or after the port, each at most once; an option's value is the
// next argument or follows "=" ("--restart X" and "--restart=X" are the same). Help and
// version stand alone: with any other argument, --json too, they are a usage error.
ParsedArguments parseArguments(const std::vector<std::wstring>& arguments);

// Whether the run holds off Ctrl+C, Ctrl+Break and closing the console while it works:
// every set, confirm and rollback, so that its writes are never cut off between being made and
// being put back.
bool holdsOffConsoleEvents(const Invocation& invocation);

extern const std::wstring usageText; // lines joined by CR LF, ending with one

} // namespace velkora::cli
