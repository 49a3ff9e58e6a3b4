// The steps of UnconfirmedChange, apart from the confirmation, the put-back and the watcher: the
// window's change flow refers to them (it passes no confirmation), and so links only these.
#include "logic/confirmed_change.h"

#include "logic/journal_text.h"
#include "logic/undo.h"
#include "logic/utf8.h"

namespace velkora {
namespace {

// The deadline, in seconds from now: on the wall clock for the record and for after a boot, on
// this boot's tick count for the watcher, which a change of the system time does not move.
void setDeadline(SystemServices& system, PendingChange& pending, std::int64_t seconds) {
    pending.confirmBy = system.clock.utcSeconds() + seconds;
    pending.bootId = toUtf8(system.info.bootId());
    pending.confirmByTick = system.clock.now().count() + seconds * 1000;
}

} // namespace

void UnconfirmedChange::begin(PortChange& change) {
    PendingChange pending;
    pending.state = PendingState::Applying;
    pending.oldPort = listenedPort_ ? listenedPort_ : change.listenerPortBefore();
    pending.newPort = change.port();
    pending.newPortText = change.portText();
    pending.restart = request_.restart;
    pending.confirmSeconds = request_.seconds;
    setDeadline(system_, pending, request_.seconds);
    pending.confirmByLogon = request_.byLogon;
    pending.closeOld = request_.closeOld;
    pending.values = change.valuesBefore();
    if (listenedPort_) {
        pending.values[0] = pending.values[1] = listenerValueOf(*listenedPort_);
    }
    pending.rules = change.rulesBefore();
    system_.watcher.install(); // before anything is written
    system_.journal.write(journalText(pending));
    undoOnFailure([&] { system_.watcher.startWatchingThisProcess(); },
                  [&] { system_.journal.remove(); });
    pending_ = pending;
}

void UnconfirmedChange::awaitConfirmation() {
    PendingChange pending = *pending_;
    pending.state = PendingState::AwaitingConfirmation;
    setDeadline(system_, pending, request_.seconds);
    system_.journal.write(journalText(pending));
    pending_ = pending;
}

void UnconfirmedChange::end() noexcept {
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
