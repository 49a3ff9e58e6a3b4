#pragma once

#include "platform/system_info.h"

namespace velkora::win32 {

// RegEnumKeyExW in the 64-bit view, and GetComputerNameExW.
class Win32SystemInfo final : public SystemInfo {
public:
    std::vector<std::wstring> subkeyNames(const std::wstring& keyPath) override;
    std::wstring computerName() override;
};

} // namespace velkora::win32
