#pragma once

#include <string>

namespace velkora {

namespace WindowStyle {
constexpr int MinimizedFocus = 2;
} // namespace WindowStyle

class Launcher {
public:
    virtual ~Launcher() = default;
    // Starts the command line as a new process and returns at once with its task number.
    virtual unsigned long launch(const std::wstring& commandLine, int windowStyle) = 0;
};

} // namespace velkora
