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

// The service that takes an unconfirmed change back by itself. It runs the command line's own
// program as LocalSystem, starts with the system, and reads the journal.
class ConfirmationWatcher {
public:
    virtual ~ConfirmationWatcher() = default;
    // Installs its service (or brings one there to this form) and starts it for this process,
    // which it watches; returns once it runs.
    virtual void startWatchingThisProcess() = 0;
    // Stops its service and removes it; one that is not there is left alone.
    virtual void remove() = 0;
};

} // namespace velkora
