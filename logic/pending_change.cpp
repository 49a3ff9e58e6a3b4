#include "logic/pending_change.h"

#include "logic/journal_text.h"

namespace velkora {

const char* pendingStateName(PendingState state) {
    switch (state) {
    case PendingState::Applying:
        return "applying";
    case PendingState::AwaitingConfirmation:
        return "awaiting-confirmation";
    case PendingState::RestartPending:
        return "restart-pending";
    default:
        return "closing-old-port";
    }
}

std::wstring writtenPortText(const PendingChange& change) {
    return change.newPortText.empty() ? std::to_wstring(change.newPort) : change.newPortText;
}

std::optional<PendingChange> readPendingChange(ChangeJournal& journal) {
    const std::optional<std::string> text = journal.read();
    return text ? std::optional<PendingChange>(parseJournal(*text)) : std::nullopt;
}

} // namespace velkora
