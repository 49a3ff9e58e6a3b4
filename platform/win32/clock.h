#pragma once

#include "platform/clock.h"

namespace velkora::win32 {

class LocalClock final : public Clock {
public:
    Date today() override;
};

} // namespace velkora::win32
