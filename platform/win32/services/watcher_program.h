#pragma once

#include <string>

namespace velkora::win32 {

// The program the confirmation watcher's service runs: a copy of the running command line in
// the data folder's "watcher" folder, which only SYSTEM and the administrators may change, so
// that neither a folder a standard user may write to nor a program deleted later (a cache
// that deployment engines clean) decides what runs as LocalSystem or whether a change is
// ever put back. The copy is checked byte for byte against the program that runs. Raises
// PlatformError, saying that nothing was changed, when it cannot be made so.
std::wstring copyProgramForWatcher();

// The copy goes once its service has stopped; while its process still ends, it stays, to be
// replaced by the next copy.
void removeWatcherProgram() noexcept;

} // namespace velkora::win32
