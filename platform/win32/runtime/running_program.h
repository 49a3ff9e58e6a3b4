#pragma once

#include <windows.h>

namespace velkora::win32 {

// The file this process was started from, opened once, as early as the process can, and held
// without write or delete sharing from then on: no one can rename it, replace it or write to
// it while this process runs, so a copy made from it later is a copy of the program that runs
// and not of whatever another account has since put at its path. Opening it checks that its
// headers are the ones the system loaded. A failure is kept for the copy to raise.
void holdRunningProgram() noexcept;

// Writes the held program into the file at its start (which is to be empty) and reads it back.
// Raises PlatformError when the program could not be held (never opening its path again,
// where another file may be by now), or unless the file then holds exactly its bytes.
void copyRunningProgramTo(HANDLE target);

} // namespace velkora::win32
