#pragma once

#include <optional>
#include <string>

namespace velkora::win32 {

// The client address of the Remote Desktop session this process runs in; nothing in another
// kind of session or where the session information cannot be read.
std::optional<std::wstring> remoteSessionClientAddress();

} // namespace velkora::win32
