#pragma once

#include <string>

namespace velkora {

class ProgramFolder {
public:
    virtual ~ProgramFolder() = default;
    // The folder of the executable, without a trailing backslash.
    virtual std::wstring programFolder() = 0;
};

} // namespace velkora
