#pragma once

#include <optional>
#include <string>
#include <vector>

namespace velkora::cli {

enum class Command { Status, Check, Set, Confirm, Rollback, Watch, Help, Version };
enum class RestartMode { None, Computer, Service };

// One run of the command line, as asked.
struct Invocation {
    Command command = Command::Help;
    std::wstring portText; // check and set: exactly as given, leading zeros kept
    RestartMode restart = RestartMode::None;
    bool force = false;
    bool json = false;
    long verifySeconds = 60;           // --restart service: how long to wait for the listener
    long confirmSeconds = 0;           // taken back by itself unless confirmed within; 0: not asked
    bool confirmByCommandOnly = false; // a remote logon does not confirm it
    bool closeOld = false;             // once confirmed, the old port is closed
    // set --allow-from: the remote addresses the rules let in, in the firewall's own text
    std::optional<std::wstring> allowFrom;

    bool operator==(const Invocation& o) const {
        return command == o.command && portText == o.portText && restart == o.restart &&
               force == o.force && json == o.json && verifySeconds == o.verifySeconds &&
               confirmSeconds == o.confirmSeconds &&
               confirmByCommandOnly == o.confirmByCommandOnly && closeOld == o.closeOld &&
               allowFrom == o.allowFrom;
    }
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
