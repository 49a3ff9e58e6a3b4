// The port probe against real sockets. Wine's sockets are Linux sockets; Wine 8 reports
// every owning process as 0, so where the owner is named the test accepts either that or
// this very process. Excluded port ranges cannot be made under Wine: the host tests cover
// them with a fake.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "logic/lockout_guard.h"
#include "platform/win32/network_api.h"
#include "platform/win32/port_probe.h"
#include "platform/win32/process_names.h"
#include "tests/win/test_support.h"

namespace velkora {
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

// ownImage: the image the owner has where the system names owners (not under Wine).
void expectInUse(long port, PortProtocol protocol, const std::wstring& ownImage) {
    win32::SystemPortProbe probe;
    const PortCheck check = checkPortAvailability(probe, port, 3389);

    EXPECT_EQ(check.result, PortCheckResult::InUse) << port;
    EXPECT_EQ(check.bindError, BindError::AddressInUse);
    ASSERT_FALSE(check.owners.empty());
    EXPECT_EQ(check.owners[0].protocol, protocol);
    if (check.owners[0].pid == 0) { // Wine
        EXPECT_EQ(lockoutWarningText(check),
                  L"端口 " + std::to_wstring(port) + L" 已被 其他程序占用，" +
                      L"远程桌面将无法在此端口监听。\r\n" +
                      (check.dynamicRange ? L"该端口属于动态端口范围（49152-65535），"
                                            L"系统从中为出站连接分配端口，保留范围也多在其中。\r\n"
                                          : L"") +
                      L"仍要修改吗？");
    } else {
        EXPECT_EQ(check.owners[0].image, ownImage);
    }
}

TEST(PortProbe, ATcpListenerOfThisProcessIsInUse) {
    const HeldPort held(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(held.port(), 0);
    expectInUse(held.port(), PortProtocol::Tcp, thisImage);
}

TEST(PortProbe, AnIpv6OnlyTcpListenerIsInUse) {
    const HeldPort held(AF_INET6, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_NE(held.port(), 0);
    expectInUse(held.port(), PortProtocol::Tcp, thisImage);
}

TEST(PortProbe, AUdpSocketOfThisProcessIsInUse) {
    const HeldPort held(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    ASSERT_NE(held.port(), 0);
    expectInUse(held.port(), PortProtocol::Udp, thisImage);
}

TEST(PortProbe, APortOfAPlainLinuxProcessIsInUse) {
    const char* file = std::getenv("VELKORA_LINUX_LISTENER_FILE");
    if (file == nullptr) {
        GTEST_SKIP() << "runs under CTest, which starts the Linux listener";
    }
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
    EXPECT_EQ(checkPortAvailability(probe, port, port).result, PortCheckResult::Same);
}

TEST(ProcessNames, NamesThisProcessByItsImageFile) {
    EXPECT_EQ(win32::processImageName(GetCurrentProcessId()), thisImage);
    EXPECT_EQ(win32::processImageName(0), L"");
}

} // namespace
} // namespace velkora
