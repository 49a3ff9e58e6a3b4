#pragma once

// The registry paths a port change touches, spelled out here independently of the code
// under test so that a typo in either shows up.

#include <string>

namespace velkora::test {

inline const std::wstring tdsPort = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                    L"Terminal Server\\Wds\\rdpwd\\Tds\\tcp\\PortNumber";
inline const std::wstring rdpTcpPort = L"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\"
                                       L"Terminal Server\\WinStations\\RDP-Tcp\\PortNumber";
inline const std::wstring standardList =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\StandardProfile\\GloballyOpenPorts\\List";
inline const std::wstring domainList =
    L"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\SharedAccess\\Parameters\\"
    L"FirewallPolicy\\DomainProfile\\GloballyOpenPorts\\List";

} // namespace velkora::test
