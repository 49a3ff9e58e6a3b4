#pragma once

namespace velkora {

// What the process tells whoever started it: a script or a deployment tool can tell a
// change that failed from one that was made or left alone.
namespace ExitCode {
constexpr int Normal = 0;     // 退出, the close box
constexpr int AfterError = 1; // the error report was shown
} // namespace ExitCode

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once with the exit code: the window closes, no further events
    // are raised.
    virtual void endProgram(int exitCode) = 0;
};

} // namespace velkora
