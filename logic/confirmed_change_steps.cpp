// The steps of ConfirmedChange, apart from the confirmation, the put-back and the watcher: the
// window's change flow refers to them (it passes no confirmation), and so links only these.
#include "logic/confirmed_change.h"

#include "logic/undo.h"

namespace velkora {

void ConfirmedChange::begin(PortChange& change) {
    PendingChange pending;
    pending.state = PendingState::Applying;
    pending.oldPort = change.listenerPortBefore();
    pending.newPort = change.port();
    pending.restart = request_.restart;
    pending.confirmSeconds = request_.seconds;
    pending.confirmBy = system_.clock.utcSeconds() + request_.seconds;
    pending.confirmByLogon = request_.byLogon;
    pending.closeOld = request_.closeOld;
    pending.values = change.valuesBefore();
    pending.rules = change.rulesBefore();
    system_.journal.write(journalText(pending));
    undoOnFailure([&] { system_.watcher.startWatchingThisProcess(); },
                  [&] { system_.journal.remove(); });
    pending_ = pending;
}

void ConfirmedChange::awaitConfirmation() {
    PendingChange pending = *pending_;
    pending.state = PendingState::AwaitingConfirmation;
    pending.confirmBy = system_.clock.utcSeconds() + request_.seconds;
    system_.journal.write(journalText(pending));
    pending_ = pending;
}

void ConfirmedChange::end() noexcept {
    // What cannot be removed stays as it is: the watcher then puts back, once this process has
    // ended, what is already put back, which changes nothing.
    try {
        system_.journal.remove();
        system_.watcher.remove();
    } catch (...) {
    }
    pending_.reset();
}

} // namespace velkora
