// The command line's end-to-end suite: runs the real velkora-cli.exe under Wine, with the
// shutdown stand-in in place of the system's.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_standins.h"
#include "tests/kept_firewall/kept_firewall_prefix.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(velkora::test::newStandIns());
    ::testing::AddGlobalTestEnvironment(velkora::test::newKeptFirewallEnvironment());
    return RUN_ALL_TESTS();
}
