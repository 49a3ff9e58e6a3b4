#pragma once

#include <memory>

#include "platform/non_copyable.h"
#include "platform/platform.h"

namespace velkora::win32 {

// The real services a change works through, owned together. None of them loads user32 or
// gdi32: the command line has them and nothing else.
class Win32SystemServices : NonCopyable {
public:
    Win32SystemServices();
    ~Win32SystemServices();

    SystemServices& services();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

} // namespace velkora::win32
