#pragma once

#include <optional>
#include <string>

namespace velkora {

// The firewall's own text for the remote addresses of a rule: "*" alone, or comma-separated
// tokens without spaces, each an IPv4 or IPv6 address, a subnet ("10.0.0.0/8",
// "10.0.0.0/255.0.0.0", "fe80::/64"), a range ("10.0.0.1-10.0.0.9"), or one of the keywords
// LocalSubnet, DNS, DHCP, WINS, DefaultGateway, Internet, Intranet, IntranetRemoteAccess,
// PlayToDevice and CaptivePortal (any case). An IPv4 number with a leading zero ("010") is
// refused.

// Whether the text is one IPv4 or IPv6 address.
bool isAddressText(const std::wstring& text);

// Why the firewall would refuse the list, in a sentence; nothing when it is valid.
std::optional<std::wstring> remoteAddressListProblem(const std::wstring& list);

// Whether a valid list certainly lets the address (an IPv4 or IPv6 address text) in: "*", or
// an address, subnet or range that holds it. The keywords stand for addresses only the
// system knows, so they never count.
bool remoteAddressListCovers(const std::wstring& list, const std::wstring& address);

} // namespace velkora
