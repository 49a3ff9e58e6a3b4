#include "platform/win32/runtime/process_end.h"

#include <windows.h>

namespace velkora::win32 {

void ProcessProgramEnd::endProgram(int exitCode) {
    ExitProcess(static_cast<UINT>(exitCode));
}

} // namespace velkora::win32
