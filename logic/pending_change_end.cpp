#include "logic/port_change_request.h"

#include "logic/confirmed_change.h"

namespace velkora {
namespace {

// What ended a pending change, in the result: the ports, and what could not be done.
void reportPendingEnd(const PendingEnd& end, PortChangeResult& result) {
    result.oldPort = end.change.oldPort;
    result.newPort = end.change.newPort;
    result.logError = end.logError;
    result.auditError = end.auditError;
}

void confirmInto(SystemServices& system, PortChangeResult& result) {
    const std::optional<PendingEnd> end = confirmPendingChange(system);
    result.confirmed = end.has_value();
    if (!end) {
        return;
    }
    reportPendingEnd(*end, result);
    result.port = end->change.newPort;
    result.closedOldPort = end->closed;
    if (end->error) {
        result.error = end->error; // the change is kept; the old port is as it was
        result.exitCode = ExitCode::Failed;
        if (end->error->changeLeftBehind()) {
            return; // the journal stays: the watcher puts the closing back
        }
    }
    system.watcher.remove();
}

void rollBackInto(SystemServices& system, PortChangeResult& result) {
    const std::optional<PendingEnd> end = putBackPendingChange(system, PutBackReason::Asked);
    result.rolledBack = end && !end->error;
    if (!end) {
        return;
    }
    reportPendingEnd(*end, result);
    if (end->error) {
        result.changed = true;
        result.error = end->error;
        result.exitCode = ExitCode::Failed;
        return;
    }
    if (end->change.closing) {
        // A closing cut off was put back: the change itself stays, and so does its port.
        result.reopenedOldPort = end->change.closing->port;
        result.port = end->change.newPort;
        system.watcher.remove();
        return;
    }
    result.port = end->change.oldPort;
    system.watcher.remove();
    if (end->restart && end->restart->result != RestartResult::Verified) {
        result.error = end->restart->error;
        result.exitCode = ExitCode::Failed;
    }
}

template <typename Step> PortChangeResult resultOf(Step step) {
    PortChangeResult result;
    try {
        step(result);
    } catch (const PlatformError& failure) {
        failWith(result, failure);
    }
    return result;
}

} // namespace

PortChangeResult confirmChange(SystemServices& system) {
    return resultOf([&](PortChangeResult& result) { confirmInto(system, result); });
}

PortChangeResult rollBackChange(SystemServices& system) {
    return resultOf([&](PortChangeResult& result) { rollBackInto(system, result); });
}

} // namespace velkora
