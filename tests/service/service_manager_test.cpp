#include <gtest/gtest.h>

#include "platform/platform_error.h"
#include "standins.h"

namespace velkora::test {
namespace {

using std::chrono::seconds;

class ScmServiceManagerTest : public testing::Test {
protected:
    void SetUp() override { resetStandIns(services, 3389); }
    void TearDown() override { clearStandInBehaviour(); }

    long errorOf(const std::function<void()>& action) {
        try {
            action();
        } catch (const PlatformError& e) {
            return e.number();
        }
        return 0;
    }

    win32::ScmServiceManager services;
};

TEST_F(ScmServiceManagerTest, StopsAndStartsWithDependentsAndTheListenerFollowsThePort) {
    const ServiceControlStatus before = services.query(standInService);
    EXPECT_EQ(before.state, ServiceRunState::Running);
    EXPECT_TRUE(before.acceptsStop);
    EXPECT_NE(before.processId, 0u);
    EXPECT_EQ(services.runningDependents(standInService),
              std::vector<std::wstring>{standInDependent});
    EXPECT_TRUE(acceptsConnections(3389));

    services.stop(standInDependent, seconds(20));
    services.stop(standInService, seconds(20));
    EXPECT_EQ(services.query(standInService).state, ServiceRunState::Stopped);
    EXPECT_EQ(services.query(standInService).processId, 0u);
    EXPECT_TRUE(services.runningDependents(standInService).empty());
    EXPECT_FALSE(acceptsConnections(3389));

    setListenerPort(4100);
    services.start(standInService, seconds(20));
    const ServiceControlStatus after = services.query(standInService);
    EXPECT_EQ(after.state, ServiceRunState::Running);
    EXPECT_NE(after.processId, before.processId);
    EXPECT_TRUE(acceptsConnections(4100));
    EXPECT_FALSE(acceptsConnections(3389));
}

TEST_F(ScmServiceManagerTest, StoppingAStoppedServiceLeavesItStopped) {
    services.stop(standInDependent, seconds(20));
    services.stop(standInDependent, seconds(20));
    EXPECT_EQ(services.query(standInDependent).state, ServiceRunState::Stopped);
}

TEST_F(ScmServiceManagerTest, AServiceThatDoesNotAcceptStopSaysSoAndKeepsRunning) {
    setStandInBehaviour(L"NoStop", 1);
    services.stop(standInDependent, seconds(20));
    services.stop(standInService, seconds(20));
    services.start(standInService, seconds(20));
    EXPECT_FALSE(services.query(standInService).acceptsStop);
    EXPECT_EQ(errorOf([&] { services.stop(standInService, seconds(5)); }), 1052);
    EXPECT_EQ(services.query(standInService).state, ServiceRunState::Running);
    setStandInBehaviour(L"NoStop", 0);
}

TEST_F(ScmServiceManagerTest, AFailedStartRaisesTheServicesExitCode) {
    services.stop(standInDependent, seconds(20));
    services.stop(standInService, seconds(20));
    setStandInBehaviour(L"FailStart", 1);
    EXPECT_EQ(errorOf([&] { services.start(standInService, seconds(20)); }), 1066);
    EXPECT_EQ(services.query(standInService).state, ServiceRunState::Stopped);
    EXPECT_EQ(errorOf([&] { services.query(L"VelkoraNoSuchService"); }), 1060);
}

} // namespace
} // namespace velkora::test
