#pragma once

#include "platform/result_log.h"

namespace velkora::win32 {

// %ProgramData%\Velkora\velkora-cli.log, UTF-8, one line per result with the local time.
class ProgramDataResultLog : public ResultLog {
public:
    void append(const std::wstring& line) override;
};

} // namespace velkora::win32
