#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "platform/platform_error.h"

namespace velkora::test {

// The PlatformError that call raises. If it raises none, the test fails and the error
// given back is one no test expects (number 0).
template <typename Call> PlatformError thrownBy(Call&& call) {
    try {
        std::forward<Call>(call)();
    } catch (const PlatformError& error) {
        return error;
    }
    ADD_FAILURE() << "no PlatformError was raised";
    return PlatformError(0, L"");
}

// Polls until the condition holds or the time is up; the condition's last answer.
template <typename Condition> bool waitUntil(Condition&& condition, unsigned long timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// Names each instance of a parameterised test after the label of its case.
struct CaseLabel {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.label;
    }
};

} // namespace velkora::test
