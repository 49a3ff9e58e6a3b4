#pragma once

#include <cstddef>
#include <string>

#include "platform/clock.h"
#include "platform/program_end.h"
#include "platform/program_folder.h"

namespace velkora::win32 {

// The small services of the process itself: the clock, the program's folder, its end.

class LocalClock final : public Clock {
public:
    Date today() override;
};

class ModuleProgramFolder final : public ProgramFolder {
public:
    std::wstring programFolder() override;
};

// Ends the process at once with exit code 0; no window or destructor gets another word.
class ProcessProgramEnd final : public ProgramEnd {
public:
    [[noreturn]] void endProgram() override;
};

// The path of this process's executable, however long: the buffer, of initialBufferSize
// characters at first, grows until the path fits.
std::wstring executablePath(std::size_t initialBufferSize = 260);

// The system directory (for example C:\Windows\System32), without a trailing backslash.
std::wstring systemDirectory();

} // namespace velkora::win32
