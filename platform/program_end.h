#pragma once

namespace velkora {

class ProgramEnd {
public:
    virtual ~ProgramEnd() = default;
    // Ends the program at once: the window closes, no further events are raised.
    virtual void endProgram() = 0;
};

} // namespace velkora
