// The end-to-end suites: the real velkora.exe under Wine, its window driven from outside, and
// the real velkora-cli.exe. Before the tests, the stand-ins take the place of the browser (the
// https handler) and of the system's shutdown command, and the test firewall that of the
// system's; afterwards all is put back.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_standins.h"
#include "tests/kept_firewall/kept_firewall_prefix.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(velkora::test::newStandIns());
    ::testing::AddGlobalTestEnvironment(velkora::test::newKeptFirewallEnvironment());
    return RUN_ALL_TESTS();
}
