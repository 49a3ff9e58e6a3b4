#pragma once

#include <optional>
#include <string>

namespace velkora {

// The record of a change that waits for confirmation, kept where it outlives the process
// that made it, a power cut included. Failures raise PlatformError.
class ChangeJournal {
public:
    virtual ~ChangeJournal() = default;
    // Its text; none when no change is pending.
    virtual std::optional<std::string> read() = 0;
    // Replaces it as a whole: a cut-off write leaves the old text, never part of the new.
    virtual void write(const std::string& text) = 0;
    // None is left; none there is no failure.
    virtual void remove() = 0;
};

// The service that takes an unconfirmed change back by itself. It runs a copy of the command
// line's own program, kept where only SYSTEM and the administrators may change it, as
// LocalSystem, starts with the system, and reads the journal.
class ConfirmationWatcher {
public:
    virtual ~ConfirmationWatcher() = default;
    // Puts its program in place and installs its service (or brings one there to this form),
    // not started. Raises PlatformError, before anything of a change is written, when the
    // program cannot be put in place as it must be.
    virtual void install() = 0;
    // Starts it for this process, which it watches; returns once it runs. A service that does
    // not start is removed.
    virtual void startWatchingThisProcess() = 0;
    // Stops its service and removes it; one that is not there is left alone.
    virtual void remove() = 0;
};

} // namespace velkora
