#pragma once

#include <optional>
#include <string>

#include "platform/watch_signals.h"

namespace velkora::win32 {

// The client address of the Remote Desktop session this process runs in; nothing in another
// kind of session or where the session information cannot be read.
std::optional<std::wstring> remoteSessionClientAddress();

// Whether this process runs in a Remote Desktop session, whatever address its client reported.
bool inRemoteDesktopSession();

// The WinStation a session came in through and its client's address; empty and none where the
// session information cannot be read.
RemoteSessionLogon sessionLogon(unsigned long sessionId);

} // namespace velkora::win32
