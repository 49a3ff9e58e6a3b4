#pragma once

#include <chrono>
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
    // Starts it the same way and waits, for at most the limit, until it has ended. Raises
    // PlatformError with its exit code when that is not 0 (1460 when it has not ended).
    virtual void launchAndWait(const std::wstring& commandLine, int windowStyle,
                               std::chrono::milliseconds limit) = 0;
};

} // namespace velkora
