#pragma once

namespace velkora::win32 {

// Loads DLLs from the system directory only, never from the program's folder or the
// current directory (where a planted DLL would run with the administrator's rights).
void restrictDllSearch();

// Ends the process on heap corruption instead of running on.
void terminateOnHeapCorruption();

} // namespace velkora::win32
