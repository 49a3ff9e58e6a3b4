#pragma once

#include "platform/platform_error.h"

namespace velkora {

// Tells the user an error's number and description in a box that bears the application
// title, then ends the program.
class ErrorReport {
public:
    virtual ~ErrorReport() = default;
    virtual void report(const PlatformError& error) = 0;
};

} // namespace velkora
