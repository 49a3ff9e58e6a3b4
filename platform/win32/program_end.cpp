#include "platform/win32/program_end.h"

#include <windows.h>

namespace velkora::win32 {

void ProcessProgramEnd::endProgram() {
    ExitProcess(0);
}

} // namespace velkora::win32
