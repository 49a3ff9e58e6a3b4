#pragma once

#include <gtest/gtest.h>

namespace velkora::test {

// The stand-ins for the browser and for the system's shutdown command, put in place before
// a suite's tests and taken away after them; for AddGlobalTestEnvironment.
::testing::Environment* newStandIns();

} // namespace velkora::test
