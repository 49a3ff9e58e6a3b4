#pragma once

#include <memory>
#include <string>

#include "platform/shell_object.h"

namespace velkora::win32 {

// Creates the registry shell object for the ProgID "wscript.shell" (any case). It works on
// the registry directly, in its 64-bit view. Another ProgID raises REGDB_E_CLASSNOTREG.
class RegistryShellObjectFactory final : public ShellObjectFactory {
public:
    std::unique_ptr<ShellObject> create(const std::wstring& progId) override;
};

} // namespace velkora::win32
