#pragma once

#include <string>

#include "logic/pending_change.h"

namespace velkora {

// The journal's text: one JSON object, ASCII.
std::string journalText(const PendingChange& change);

// Raises PlatformError 13 for a text that is not a journal of this form or of the first one
// (which had neither the boot, nor a rule's service, nor the closing of the old port): a
// journal that cannot be read is never taken as "nothing pending".
PendingChange parseJournal(const std::string& text);

} // namespace velkora
