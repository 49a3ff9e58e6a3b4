#pragma once

namespace velkora {

// The listener takes its port from the first value; the second is kept in step with it.
constexpr wchar_t listenerTdsPortPath[] =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd\\Tds\\"
    L"tcp\\PortNumber";
constexpr wchar_t listenerRdpTcpPortPath[] =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Terminal Server\\WinStations\\"
    L"RDP-Tcp\\PortNumber";

} // namespace velkora
