#pragma once

#include <string>

namespace velkora {

// A log of results that outlives the console: read it after reconnecting to the server.
// Failures raise PlatformError.
class ResultLog {
public:
    virtual ~ResultLog() = default;
    virtual void append(const std::wstring& line) = 0; // one line, without CR LF
};

} // namespace velkora
