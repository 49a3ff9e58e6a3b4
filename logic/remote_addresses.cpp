#include "logic/remote_addresses.h"

#include <array>
#include <cstdint>
#include <vector>

namespace velkora {
namespace {

// An address as bytes in network order: 4 of them for IPv4, 16 for IPv6.
using Address = std::vector<std::uint8_t>;

// The lowest and highest address a token stands for.
struct AddressSpan {
    Address first;
    Address last;
};

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator) {
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::wstring::npos) {
            return parts;
        }
        start = end + 1;
    }
}

std::optional<unsigned long> digits(const std::wstring& text, int base, std::size_t maxLength) {
    if (text.empty() || text.size() > maxLength) {
        return std::nullopt;
    }
    unsigned long value = 0;
    for (const wchar_t c : text) {
        const int digit = (c >= L'0' && c <= L'9')                 ? c - L'0'
                          : (base == 16 && c >= L'a' && c <= L'f') ? c - L'a' + 10
                          : (base == 16 && c >= L'A' && c <= L'F') ? c - L'A' + 10
                                                                   : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return value;
}

std::optional<Address> parseIpv4(const std::wstring& text) {
    const std::vector<std::wstring> parts = split(text, L'.');
    if (parts.size() != 4) {
        return std::nullopt;
    }
    Address address;
    for (const std::wstring& part : parts) {
        // "010" is refused: some readers take it for octal, so what it covers is unclear.
        const auto value = digits(part, 10, 3);
        if (!value || *value > 255 || (part.size() > 1 && part[0] == L'0')) {
            return std::nullopt;
        }
        address.push_back(static_cast<std::uint8_t>(*value));
    }
    return address;
}

// Eight groups of up to four hex digits, at most one "::" for a run of zero groups, and the
// last two groups optionally written as an IPv4 address.
std::optional<Address> parseIpv6(const std::wstring& text) {
    const std::size_t gap = text.find(L"::");
    if (gap != std::wstring::npos && text.find(L"::", gap + 1) != std::wstring::npos) {
        return std::nullopt;
    }
    const auto groupsOf = [](const std::wstring& part) -> std::optional<std::vector<unsigned>> {
        std::vector<unsigned> groups;
        if (part.empty()) {
            return groups;
        }
        const std::vector<std::wstring> texts = split(part, L':');
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (i + 1 == texts.size() && texts[i].find(L'.') != std::wstring::npos) {
                const auto ipv4 = parseIpv4(texts[i]);
                if (!ipv4) {
                    return std::nullopt;
                }
                groups.push_back((*ipv4)[0] << 8 | (*ipv4)[1]);
                groups.push_back((*ipv4)[2] << 8 | (*ipv4)[3]);
                continue;
            }
            const auto group = digits(texts[i], 16, 4);
            if (!group) {
                return std::nullopt;
            }
            groups.push_back(static_cast<unsigned>(*group));
        }
        return groups;
    };
    const auto head = groupsOf(gap == std::wstring::npos ? text : text.substr(0, gap));
    const auto tail = groupsOf(gap == std::wstring::npos ? L"" : text.substr(gap + 2));
    if (!head || !tail) {
        return std::nullopt;
    }
    const std::size_t given = head->size() + tail->size();
    if ((gap == std::wstring::npos && given != 8) || (gap != std::wstring::npos && given > 7)) {
        return std::nullopt;
    }
    std::vector<unsigned> groups = *head;
    groups.resize(8 - tail->size(), 0);
    groups.insert(groups.end(), tail->begin(), tail->end());
    Address address;
    for (const unsigned group : groups) {
        address.push_back(static_cast<std::uint8_t>(group >> 8));
        address.push_back(static_cast<std::uint8_t>(group & 0xFF));
    }
    return address;
}

std::optional<Address> parseAddress(const std::wstring& text) {
    return text.find(L':') == std::wstring::npos ? parseIpv4(text) : parseIpv6(text);
}

// The prefix length a subnet mask stands for, if its ones are contiguous.
std::optional<unsigned long> maskLength(const Address& mask) {
    unsigned long ones = 0;
    bool zeroSeen = false;
    for (const std::uint8_t byte : mask) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool one = (byte >> bit) & 1;
            if (one && zeroSeen) {
                return std::nullopt;
            }
            zeroSeen = zeroSeen || !one;
            ones += one;
        }
    }
    return ones;
}

std::optional<AddressSpan> subnet(const Address& base, const std::wstring& suffix) {
    const unsigned long bits = static_cast<unsigned long>(base.size()) * 8;
    std::optional<unsigned long> length = digits(suffix, 10, 3);
    if (!length && base.size() == 4) {
        const auto mask = parseIpv4(suffix);
        length = mask ? maskLength(*mask) : std::nullopt;
    }
    if (!length || *length > bits) {
        return std::nullopt;
    }
    AddressSpan span{base, base};
    for (unsigned long bit = *length; bit < bits; ++bit) {
        const std::uint8_t flag = static_cast<std::uint8_t>(0x80 >> (bit % 8));
        span.first[bit / 8] &= static_cast<std::uint8_t>(~flag);
        span.last[bit / 8] |= flag;
    }
    return span;
}

bool isKeyword(const std::wstring& token) {
    std::wstring lower = token;
    for (wchar_t& c : lower) {
        c = (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    }
    static const std::array<const wchar_t*, 10> keywords{
        L"localsubnet",          L"dns",         L"dhcp",     L"wins",
        L"defaultgateway",       L"internet",    L"intranet", L"captiveportal",
        L"intranetremoteaccess", L"playtodevice"};
    for (const wchar_t* keyword : keywords) {
        if (lower == keyword) {
            return true;
        }
    }
    return false;
}

// The addresses a token that is no keyword stands for; nothing if the firewall refuses it.
std::optional<AddressSpan> spanOf(const std::wstring& token) {
    const std::size_t dash = token.find(L'-');
    if (dash != std::wstring::npos) {
        const auto first = parseAddress(token.substr(0, dash));
        const auto last = parseAddress(token.substr(dash + 1));
        if (!first || !last || first->size() != last->size() || *last < *first) {
            return std::nullopt;
        }
        return AddressSpan{*first, *last};
    }
    const std::size_t slash = token.find(L'/');
    const auto base = parseAddress(token.substr(0, slash));
    if (!base) {
        return std::nullopt;
    }
    return slash == std::wstring::npos ? AddressSpan{*base, *base}
                                       : subnet(*base, token.substr(slash + 1));
}

} // namespace

bool isAddressText(const std::wstring& text) {
    return parseAddress(text).has_value();
}

std::optional<std::wstring> remoteAddressListProblem(const std::wstring& list) {
    if (list == L"*") {
        return std::nullopt;
    }
    if (list.empty()) {
        return L"地址列表为空";
    }
    for (const std::wstring& token : split(list, L',')) {
        if (token == L"*") {
            return std::wstring(L"“*”只能单独使用");
        }
        if (token.empty()) {
            return std::wstring(L"地址列表中有空项（多余的逗号）");
        }
        if (!isKeyword(token) && !spanOf(token)) {
            return L"无效的地址、范围或子网：" + token;
        }
    }
    return std::nullopt;
}

bool remoteAddressListCovers(const std::wstring& list, const std::wstring& addressText) {
    if (list == L"*") {
        return true;
    }
    const std::optional<Address> address = parseAddress(addressText);
    if (!address) {
        return false;
    }
    for (const std::wstring& token : split(list, L',')) {
        const std::optional<AddressSpan> span = isKeyword(token) ? std::nullopt : spanOf(token);
        if (span && span->first.size() == address->size() && span->first <= *address &&
            *address <= span->last) {
            return true;
        }
    }
    return false;
}

} // namespace velkora
