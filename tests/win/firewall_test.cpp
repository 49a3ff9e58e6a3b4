#include <gtest/gtest.h>

#include <windows.h>
#include <initguid.h>
#include <netfw.h>

#include <functional>
#include <thread>

#include "platform/win32/firewall.h"
#include "platform/win32/firewall_ids.h"
#include "tests/win/test_support.h"

namespace velkora::test {
namespace {

TEST(FirewallIds, MatchTheSystemHeaders) {
    EXPECT_TRUE(IsEqualGUID(win32::clsidNetFwPolicy2, CLSID_NetFwPolicy2));
    EXPECT_TRUE(IsEqualGUID(win32::clsidNetFwRule, CLSID_NetFwRule));
    EXPECT_TRUE(IsEqualGUID(win32::iidINetFwPolicy2, IID_INetFwPolicy2));
    EXPECT_TRUE(IsEqualGUID(win32::iidINetFwRule, IID_INetFwRule));
}

TEST(SinglePortOf, ReadsOneDecimalPortAndNothingElse) {
    EXPECT_EQ(win32::singlePortOf(L"888"), 888);
    EXPECT_EQ(win32::singlePortOf(L"080"), 80);
    EXPECT_EQ(win32::singlePortOf(L"65535"), 65535);
    for (const wchar_t* other :
         {L"", L"*", L"65536", L"80,443", L"1-2", L" 80", L"RPC", L"000080"}) {
        EXPECT_EQ(win32::singlePortOf(other), 0) << other;
    }
}

// Runs f on a thread of its own, so that its COM state starts fresh.
void onFreshThread(const std::function<void()>& f) {
    std::thread(f).join();
}

// Each call either does its work or raises PlatformError carrying a failed HRESULT and a
// description; Wine's firewall is only stubs, so both are possible here.
void expectSuccessOrHresultError(const std::function<void()>& call, const char* what) {
    try {
        call();
    } catch (const PlatformError& error) {
        EXPECT_TRUE(FAILED(static_cast<HRESULT>(error.number())))
            << what << ": " << std::hex << error.number();
        EXPECT_FALSE(error.description().empty()) << what;
    }
}

void exerciseEveryOperation() {
    win32::NetFwFirewall firewall;
    FirewallRule rule;
    rule.name = L"Velkora 测试规则 40001 (TCP)";
    rule.description = L"测试";
    rule.grouping = L"Velkora工具";
    rule.localPort = 40001;

    expectSuccessOrHresultError([&] { firewall.available(); }, "available");
    expectSuccessOrHresultError([&] { firewall.find(rule.name); }, "find");
    expectSuccessOrHresultError([&] { firewall.put(rule); }, "put");
    expectSuccessOrHresultError(
        [&] {
            if (std::optional<FirewallRule> found = firewall.find(rule.name)) {
                EXPECT_EQ(*found, rule);
            }
        },
        "find after put");
    expectSuccessOrHresultError([&] { firewall.remove(rule.name); }, "remove");
    expectSuccessOrHresultError([&] { firewall.remove(rule.name); }, "remove again");
}

TEST(NetFwFirewall, RunsEveryCallAndLeavesAFreshThreadWithoutCom) {
    onFreshThread([] {
        exerciseEveryOperation();
        // Had COM been left initialised, this would give S_FALSE or RPC_E_CHANGED_MODE.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(NetFwFirewall, UsesAThreadsMultithreadedApartmentAndLeavesItAlone) {
    onFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        exerciseEveryOperation();
        // Still in the multithreaded apartment: not uninitialised behind our back.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), RPC_E_CHANGED_MODE);
        CoUninitialize();
    });
}

TEST(NetFwFirewall, BalancesItsInitialisationInAnApartmentThreadedThread) {
    onFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        exerciseEveryOperation();
        // One initialisation is left, ours: this one adds a second.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

} // namespace
} // namespace velkora::test
