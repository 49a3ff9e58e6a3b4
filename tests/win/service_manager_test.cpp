#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>

#include "platform/platform_error.h"
#include "platform/win32/services/service_manager.h"

namespace velkora::test {
namespace {

// Wine registers TermService as a demand-start stub that nothing in the test prefix starts.
TEST(ScmServiceManager, ReadsTheRemoteDesktopService) {
    win32::ScmServiceManager services;
    const ServiceStatus status = services.query(L"TermService");
    EXPECT_EQ(status.state, ServiceState::Stopped);
    EXPECT_EQ(status.processId, 0u);
    try {
        services.query(L"VelkoraNoSuchService");
        ADD_FAILURE() << "a service that does not exist was read";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.number(), ERROR_SERVICE_DOES_NOT_EXIST);
    }
}

// A TCP listener of this process on a port the system picks; its port in host order.
class Listener {
public:
    Listener() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(socket_, 1);
        int length = sizeof address;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~Listener() {
        closesocket(socket_);
        WSACleanup();
    }
    long port() const { return port_; }

private:
    SOCKET socket_ = INVALID_SOCKET;
    long port_ = 0;
};

TEST(ScmServiceManager, ListsTheTcpPortsAProcessListensOn) {
    Listener listener;
    ASSERT_NE(listener.port(), 0);
    win32::ScmServiceManager services;
    // Wine names no owner (every listener's process id is 0); Windows names this process.
    std::vector<long> ports = services.tcpListenPorts(GetCurrentProcessId());
    const std::vector<long> unnamed = services.tcpListenPorts(0);
    ports.insert(ports.end(), unnamed.begin(), unnamed.end());
    EXPECT_NE(std::find(ports.begin(), ports.end(), listener.port()), ports.end());
    EXPECT_TRUE(std::is_sorted(unnamed.begin(), unnamed.end()));
}

} // namespace
} // namespace velkora::test
