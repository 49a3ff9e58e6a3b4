#include <gtest/gtest.h>

#include "tests/common/test_helpers.h"
#include "tests/service/standins.h"

namespace velkora::test {
namespace {

using std::chrono::seconds;

class ScmServiceManagerTest : public testing::Test {
protected:
    void SetUp() override { resetStandIns(services, 3389); }
    void TearDown() override { clearStandInBehaviour(); }

    win32::ScmServiceManager services;
};

// What the command line's scenarios do not reach: the errors of a stop and a start.
TEST_F(ScmServiceManagerTest, AServiceThatDoesNotAcceptStopSaysSoAndKeepsRunning) {
    setStandInBehaviour(L"NoStop", 1);
    services.stop(standInDependent, seconds(20));
    services.stop(standInService, seconds(20));
    services.start(standInService, seconds(20));
    EXPECT_FALSE(services.query(standInService).acceptsStop);
    EXPECT_EQ(thrownBy([&] { services.stop(standInService, seconds(5)); }).number(), 1052);
    EXPECT_EQ(services.query(standInService).state, ServiceState::Running);
    setStandInBehaviour(L"NoStop", 0);
}

TEST_F(ScmServiceManagerTest, AFailedStartRaisesTheServicesExitCode) {
    services.stop(standInDependent, seconds(20));
    services.stop(standInService, seconds(20));
    setStandInBehaviour(L"FailStart", 1);
    EXPECT_EQ(thrownBy([&] { services.start(standInService, seconds(20)); }).number(), 1066);
    EXPECT_EQ(services.query(standInService).state, ServiceState::Stopped);
    EXPECT_EQ(thrownBy([&] { services.query(L"VelkoraNoSuchService"); }).number(), 1060);
}

} // namespace
} // namespace velkora::test
