// The end-to-end suite: starts the real velkora.exe under Wine and drives its window from
// outside. Before the tests, the stand-ins take the place of the browser (the https handler)
// and of the system's shutdown command; afterwards both are put back.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_standins.h"
#include "tests/kept_firewall/kept_firewall_prefix.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(velkora::test::newStandIns());
    ::testing::AddGlobalTestEnvironment(velkora::test::newKeptFirewallEnvironment());
    return RUN_ALL_TESTS();
}
