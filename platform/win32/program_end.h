#pragma once

#include "platform/program_end.h"

namespace velkora::win32 {

// Ends the process at once with exit code 0; no window or destructor gets another word.
class ProcessProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram() override;
};

} // namespace velkora::win32
