#pragma once

#include "platform/program_end.h"

namespace velkora::win32 {

// Ends the process at once; no window or destructor gets another word.
class ProcessProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram(int exitCode) override;
};

} // namespace velkora::win32
