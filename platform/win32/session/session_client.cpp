#include "platform/win32/session/session_client.h"

#include <windows.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cwchar>

namespace velkora::win32 {
namespace {

constexpr USHORT rdpProtocol = 2; // WTSClientProtocolType: 0 the console, 2 Remote Desktop
constexpr DWORD ipv4 = 2;         // AF_INET
constexpr DWORD ipv6 = 23;        // AF_INET6

// One piece of the current session's information, freed with WTSFreeMemory.
class SessionInformation {
public:
    explicit SessionInformation(WTS_INFO_CLASS kind, DWORD sessionId = WTS_CURRENT_SESSION) {
        if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, kind, &buffer_,
                                         &size_)) {
            buffer_ = nullptr;
            size_ = 0;
        }
    }
    ~SessionInformation() {
        if (buffer_ != nullptr) {
            WTSFreeMemory(buffer_);
        }
    }
    SessionInformation(const SessionInformation&) = delete;
    SessionInformation& operator=(const SessionInformation&) = delete;

    std::wstring text() const {
        return buffer_ != nullptr ? std::wstring(buffer_, wcsnlen(buffer_, size_ / sizeof(wchar_t)))
                                  : std::wstring();
    }

    template <typename Value> const Value* as() const {
        return size_ >= sizeof(Value) ? reinterpret_cast<const Value*>(buffer_) : nullptr;
    }

private:
    LPWSTR buffer_ = nullptr;
    DWORD size_ = 0;
};

std::wstring addressText(const WTS_CLIENT_ADDRESS& client) {
    wchar_t text[48] = L"";
    const BYTE* a = client.Address;
    if (client.AddressFamily == ipv4) { // the four bytes start at the third
        std::swprintf(text, 48, L"%u.%u.%u.%u", a[2], a[3], a[4], a[5]);
    } else {
        std::swprintf(text, 48, L"%x:%x:%x:%x:%x:%x:%x:%x", a[0] << 8 | a[1], a[2] << 8 | a[3],
                      a[4] << 8 | a[5], a[6] << 8 | a[7], a[8] << 8 | a[9], a[10] << 8 | a[11],
                      a[12] << 8 | a[13], a[14] << 8 | a[15]);
    }
    return text;
}

// The client address a session reports; nothing where it reports none.
std::optional<std::wstring> clientAddressOf(DWORD sessionId) {
    const SessionInformation address(WTSClientAddress, sessionId);
    const WTS_CLIENT_ADDRESS* client = address.as<WTS_CLIENT_ADDRESS>();
    if (client == nullptr || (client->AddressFamily != ipv4 && client->AddressFamily != ipv6)) {
        return std::nullopt;
    }
    return addressText(*client);
}

} // namespace

bool inRemoteDesktopSession() {
    const SessionInformation protocol(WTSClientProtocolType);
    return protocol.as<USHORT>() != nullptr && *protocol.as<USHORT>() == rdpProtocol;
}

std::optional<std::wstring> remoteSessionClientAddress() {
    if (!inRemoteDesktopSession()) {
        return std::nullopt;
    }
    return clientAddressOf(WTS_CURRENT_SESSION);
}

RemoteSessionLogon sessionLogon(unsigned long sessionId) {
    return {SessionInformation(WTSWinStationName, sessionId).text(), clientAddressOf(sessionId)};
}

} // namespace velkora::win32
