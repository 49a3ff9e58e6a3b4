#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "logic/remote_addresses.h"

namespace velkora::test {
namespace {

// A list in the firewall's syntax, whether the firewall takes it (and if not, why), and
// whether it certainly lets a session's client address in.
struct AddressListCase {
    const wchar_t* list;
    const wchar_t* address;
    std::optional<std::wstring> problem;
    bool covers;
};

class RemoteAddressList : public ::testing::TestWithParam<AddressListCase> {};

TEST_P(RemoteAddressList, IsCheckedAndCoversTheAddressesItNames) {
    const AddressListCase c = GetParam();
    EXPECT_EQ(remoteAddressListProblem(c.list), c.problem);
    EXPECT_EQ(remoteAddressListCovers(c.list, c.address), c.covers);
}

const std::wstring invalid = L"无效的地址、范围或子网：";

INSTANTIATE_TEST_SUITE_P(
    Lists, RemoteAddressList,
    ::testing::Values(
        AddressListCase{L"*", L"203.0.113.7", std::nullopt, true},
        AddressListCase{L"*", L"2001:db8::1", std::nullopt, true},
        AddressListCase{L"203.0.113.7", L"203.0.113.7", std::nullopt, true},
        AddressListCase{L"203.0.113.7", L"203.0.113.8", std::nullopt, false},
        AddressListCase{L"10.0.0.0/8", L"10.255.1.2", std::nullopt, true},
        AddressListCase{L"10.0.0.0/8", L"11.0.0.0", std::nullopt, false},
        AddressListCase{L"10.1.2.3/255.255.0.0", L"10.1.200.9", std::nullopt, true},
        AddressListCase{L"10.1.2.3/255.255.0.0", L"10.2.0.1", std::nullopt, false},
        AddressListCase{L"192.168.1.10-192.168.1.20", L"192.168.1.20", std::nullopt, true},
        AddressListCase{L"192.168.1.10-192.168.1.20", L"192.168.1.21", std::nullopt, false},
        AddressListCase{L"LocalSubnet,198.51.100.0/24", L"198.51.100.99", std::nullopt, true},
        AddressListCase{L"localsubnet,DNS,DHCP,WINS,DefaultGateway", L"192.168.0.2", std::nullopt,
                        false},
        AddressListCase{L"2001:db8::/32", L"2001:db8:ffff::1", std::nullopt, true},
        AddressListCase{L"2001:db8::/32", L"2001:db9::1", std::nullopt, false},
        AddressListCase{L"fe80::1-fe80::ff", L"fe80::80", std::nullopt, true},
        AddressListCase{L"::ffff:192.0.2.1", L"::ffff:c000:201", std::nullopt, true},
        AddressListCase{L"10.0.0.0/8", L"::ffff:10.0.0.1", std::nullopt, false},
        AddressListCase{L"", L"10.0.0.1", L"地址列表为空", false},
        AddressListCase{L"10.0.0.1,*", L"10.0.0.1", L"“*”只能单独使用", true},
        AddressListCase{L"10.0.0.1,", L"10.0.0.1", L"地址列表中有空项（多余的逗号）", true},
        AddressListCase{L"10.0.0.1, 10.0.0.2", L"10.0.0.1", invalid + L" 10.0.0.2", true},
        AddressListCase{L"10.0.0.256", L"10.0.0.1", invalid + L"10.0.0.256", false},
        AddressListCase{L"10.0.0", L"10.0.0.1", invalid + L"10.0.0", false},
        AddressListCase{L"10.0.0.0/33", L"10.0.0.1", invalid + L"10.0.0.0/33", false},
        AddressListCase{L"10.0.0.0/255.0.255.0", L"10.0.0.1", invalid + L"10.0.0.0/255.0.255.0",
                        false},
        AddressListCase{L"10.0.0.9-10.0.0.1", L"10.0.0.5", invalid + L"10.0.0.9-10.0.0.1", false},
        AddressListCase{L"10.0.0.1-fe80::1", L"10.0.0.1", invalid + L"10.0.0.1-fe80::1", false},
        AddressListCase{L"1::2::3", L"1::3", invalid + L"1::2::3", false},
        AddressListCase{L"1:2:3:4:5:6:7:8:9", L"1::9", invalid + L"1:2:3:4:5:6:7:8:9", false},
        AddressListCase{L"Internet,intranet,IntranetRemoteAccess,PlayToDevice,CaptivePortal",
                        L"10.0.0.1", std::nullopt, false},
        AddressListCase{L"010.0.0.1", L"10.0.0.1", invalid + L"010.0.0.1", false},
        AddressListCase{L"10.0.0.0/8", L"010.0.0.1", std::nullopt, false},
        AddressListCase{L"Anywhere", L"10.0.0.1", invalid + L"Anywhere", false}));

} // namespace
} // namespace velkora::test
