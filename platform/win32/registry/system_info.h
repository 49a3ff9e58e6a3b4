#pragma once

#include "platform/system_info.h"

namespace velkora::win32 {

// RegEnumKeyExW in the 64-bit view, GetComputerNameExW, and the session's client address from
// the Remote Desktop session information (wtsapi32); the boot from a volatile key, which the
// registry never writes to the disk.
class Win32SystemInfo final : public SystemInfo {
public:
    std::vector<std::wstring> subkeyNames(const std::wstring& keyPath) override;
    std::wstring computerName() override;
    std::optional<std::wstring> remoteSessionClientAddress() override;
    std::wstring bootId() override;
    bool inRemoteDesktopSession() override;
};

} // namespace velkora::win32
