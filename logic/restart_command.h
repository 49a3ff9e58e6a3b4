#pragma once

#include <string>

namespace velkora {

// What restarts the computer, for the window's 是 and the command line's --restart computer.
// /d: the interpreter skips the AutoRun commands of the user's registry, which would
// otherwise run with this tool's (administrator) rights.
// "/c" runs straight into "shutdown", as it always has: cmd reads the command either way.
inline const std::wstring restartCommand = L"cmd /d /c"
                                           L"shutdown -r -t 0";

} // namespace velkora
