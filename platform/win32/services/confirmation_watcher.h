#pragma once

#include <functional>

#include "platform/change_journal.h"
#include "platform/watch_signals.h"

namespace velkora::win32 {

// The watcher's service: "VelkoraConfirm", a protected copy of this program with the verb
// "watch", in its own process as LocalSystem, started with the system.
extern const wchar_t confirmationWatcherName[];

class ScmConfirmationWatcher : public ConfirmationWatcher {
public:
    void install() override;
    void startWatchingThisProcess() override;
    void remove() override;
};

// The watcher's side: runs as the service, calling watch with its signals and whether the
// command started it (with the process to watch) rather than the system. When watch returns
// true, nothing is left to watch and the service removes itself. Returns once it has stopped.
int runConfirmationWatcherService(
    const std::function<bool(WatchSignals& signals, bool startedWithCommand)>& watch);

} // namespace velkora::win32
