#pragma once

#include <cstddef>
#include <string>

#include "platform/program_folder.h"

namespace velkora::win32 {

class ModuleProgramFolder final : public ProgramFolder {
public:
    std::wstring programFolder() override;
};

// The path of this process's executable, however long: the buffer, of initialBufferSize
// characters at first, grows until the path fits.
std::wstring executablePath(std::size_t initialBufferSize = 260);

// The system directory (for example C:\Windows\System32), without a trailing backslash.
std::wstring systemDirectory();

} // namespace velkora::win32
