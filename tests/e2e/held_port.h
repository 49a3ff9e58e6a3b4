#pragma once

#include <winsock2.h>

#include <string>
#include <utility>

#include "platform/non_copyable.h"

namespace velkora::test {

// A socket of this test program holding a port below the dynamic range 49152-65535 (whose
// warnings have a line more), picked by the system: as another program holding a port.
// Wine's sockets are the machine's own. A stream socket listens.
class HeldPort : NonCopyable {
public:
    explicit HeldPort(int type = SOCK_STREAM) {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        for (int attempt = 0; attempt < 50 && port_ == 0; ++attempt) {
            socket_ = socket(AF_INET, type, type == SOCK_STREAM ? IPPROTO_TCP : IPPROTO_UDP);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            int length = sizeof(address);
            if (bind(socket_, reinterpret_cast<const sockaddr*>(&address), length) == 0 &&
                getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
                ntohs(address.sin_port) < 49152 &&
                (type != SOCK_STREAM || listen(socket_, 4) == 0)) {
                port_ = ntohs(address.sin_port);
            } else {
                closesocket(std::exchange(socket_, INVALID_SOCKET));
            }
        }
    }
    ~HeldPort() {
        closesocket(socket_);
        WSACleanup();
    }

    u_short port() const { return port_; }
    std::wstring text() const { return std::to_wstring(port_); }

private:
    SOCKET socket_ = INVALID_SOCKET;
    u_short port_ = 0;
};

} // namespace velkora::test
