// The port probe against real sockets (Wine's are Linux sockets). Excluded port ranges
// cannot be made under Wine: the host tests cover them with a fake.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "logic/lockout_guard.h"
#include "platform/win32/network/network_api.h"
#include "platform/win32/network/port_probe.h"
#include "platform/win32/network/process_names.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

using win32::networkApi;
using win32::UniqueSocket;

// A socket of this process on a port the system picks, on the wildcard address of one
// family only; listening for TCP.
class HeldPort {
public:
    HeldPort(int family, int type, int protocol)
        : socket_(networkApi().openSocket(family, type, protocol)) {
        sockaddr_in6 address{}; // zero: the wildcard address of either family
        address.sin6_family = static_cast<ADDRESS_FAMILY>(family);
        int length = family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        const DWORD v6Only = 1;
        setsockopt(socket_.get(), IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&v6Only),
                   sizeof(v6Only));
        EXPECT_EQ(bind(socket_.get(), reinterpret_cast<const sockaddr*>(&address), length), 0);
        EXPECT_EQ(getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
        port_ = ntohs(address.sin6_port); // sin_port sits at the same place
        if (type == SOCK_STREAM) {
            EXPECT_EQ(listen(socket_.get(), 4), 0);
        }
    }
    long port() const { return port_; }

private:
    win32::WinsockSession winsock_;
    UniqueSocket socket_;
    long port_ = 0;
};

const std::wstring thisImage = L"velkora_win_port_probe_tests.exe";

// ownImage: the owner's image where the system names owners; Wine reports process 0.
void expectInUse(long port, PortProtocol protocol, const std::wstring& ownImage) {
    win32::SystemPortProbe probe;
    const PortCheck check = checkPortAvailability(probe, port, 3389);
    EXPECT_EQ(check.result, PortCheckResult::InUse) << port;
    EXPECT_EQ(check.bindError, BindError::AddressInUse);
    ASSERT_FALSE(check.owners.empty());
    EXPECT_EQ(check.owners[0].protocol, protocol);
    EXPECT_EQ(check.owners[0].image, check.owners[0].pid == 0 ? L"" : ownImage);
}

struct SocketKind {
    const char* name;
    int family, type, protocol;
    PortProtocol seenAs;
};

void PrintTo(const SocketKind& c, std::ostream* out) {
    *out << c.name;
}

class HeldByThisProcess : public ::testing::TestWithParam<SocketKind> {};

TEST_P(HeldByThisProcess, IsInUse) {
    const SocketKind& kind = GetParam();
    const HeldPort held(kind.family, kind.type, kind.protocol);
    ASSERT_NE(held.port(), 0);
    expectInUse(held.port(), kind.seenAs, thisImage);
}

INSTANTIATE_TEST_SUITE_P(
    PortProbe, HeldByThisProcess,
    ::testing::Values(
        SocketKind{"TcpListener", AF_INET, SOCK_STREAM, IPPROTO_TCP, PortProtocol::Tcp},
        SocketKind{"Ipv6OnlyTcpListener", AF_INET6, SOCK_STREAM, IPPROTO_TCP, PortProtocol::Tcp},
        SocketKind{"UdpSocket", AF_INET, SOCK_DGRAM, IPPROTO_UDP, PortProtocol::Udp}),
    [](const ::testing::TestParamInfo<SocketKind>& info) { return info.param.name; });

TEST(PortProbe, APortOfAPlainLinuxProcessIsInUse) {
    const char* file = std::getenv("VELKORA_LINUX_LISTENER_FILE"); // set by CTest's fixture
    ASSERT_NE(file, nullptr);
    std::ifstream in((L"Z:" + test::fromUtf8(file)).c_str());
    long port = 0;
    ASSERT_TRUE(in >> port) << file;
    expectInUse(port, PortProtocol::Tcp, L"python3");
}

TEST(PortProbe, APortNobodyHoldsIsFree) {
    long port = 0;
    {
        const HeldPort held(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        port = held.port();
    }
    win32::SystemPortProbe probe;
    EXPECT_EQ(probe.trialBind(port), 0);
    EXPECT_TRUE(probe.holders(port).empty());
    EXPECT_EQ(checkPortAvailability(probe, port, 3389).result, PortCheckResult::Free);
    EXPECT_EQ(win32::processImageName(GetCurrentProcessId()), thisImage);
}

} // namespace
} // namespace velkora::test
