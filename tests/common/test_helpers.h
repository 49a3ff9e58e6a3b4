#pragma once

#include <gtest/gtest.h>

#include <string>
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

// Names each instance of a parameterised test after the label of its case.
struct CaseLabel {
    template <typename Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.label;
    }
};

} // namespace velkora::test
