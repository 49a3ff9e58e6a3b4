#pragma once

#include "platform/system_info.h"

namespace velkora::win32 {

// RegEnumKeyExW in the 64-bit view, GetComputerNameExW, and the session's client address from
// the Remote Desktop session information (wtsapi32).
class Win32SystemInfo final : public SystemInfo {
public:
    std::vector<std::wstring> subkeyNames(const std::wstring& keyPath) override;
    std::wstring computerName() override;
    std::optional<std::wstring> remoteSessionClientAddress() override;
    bool inRemoteDesktopSession() override;
};

} // namespace velkora::win32
