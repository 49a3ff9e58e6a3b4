#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace velkora::win32 {

// True when the process runs with an elevated (administrator) token.
bool processIsElevated();

// Opens a document through the desktop's own shell (the one explorer runs for the user),
// so that the program it starts has the desktop user's ordinary rights, not ours.
// Nothing when there is no desktop shell to ask (Server Core, or a system without one);
// otherwise the result of the shell's ShellExecute.
std::optional<HRESULT> openThroughDesktopShell(const std::wstring& operation,
                                               const std::wstring& file,
                                               const std::wstring& parameters,
                                               const std::wstring& directory, int showCommand);

} // namespace velkora::win32
