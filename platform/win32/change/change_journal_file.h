#pragma once

#include "platform/change_journal.h"

namespace velkora::win32 {

// pending-change.json in the Velkora folder of ProgramData, beside the result log. Read by a
// service that runs as SYSTEM: a file or folder another account could have planted (a link,
// a foreign owner) is refused, never read or written.
class ChangeJournalFile : public ChangeJournal {
public:
    std::optional<std::string> read() override;
    void write(const std::string& text) override;
    void remove() override;
};

} // namespace velkora::win32
