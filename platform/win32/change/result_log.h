#pragma once

#include "platform/result_log.h"

namespace velkora::win32 {

// velkora-cli.log in the Velkora folder of the ProgramData known folder, UTF-8, one line per
// result with the local time. It runs elevated or as SYSTEM: a folder or file that another
// account could have planted (a link, a foreign owner) is refused, not written.
class ProgramDataResultLog : public ResultLog {
public:
    void append(const std::wstring& line) override;
};

} // namespace velkora::win32
