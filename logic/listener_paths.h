#pragma once

namespace velkora {

// The listener's two port values, written together. Remote Desktop listens on the RDP-Tcp
// value: the usual guide for moving the port edits only that one, so many servers carry 3389
// in the Tds value beside another port. The window shows the Tds value, as it always has.
constexpr wchar_t listenerTdsPortPath[] =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\"
    L"tcp\\PortNumber";
constexpr wchar_t listenerRdpTcpPortPath[] =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\"
    L"RDP-Tcp\\PortNumber";

} // namespace velkora
