#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velkora::win32 {

// "ROOT\key\...\key\name" taken apart. The value name is everything after the last
// backslash, exactly (an empty name is the key's default value).
struct RegistryPath {
    HKEY root = nullptr;
    std::wstring rootName; // as written
    std::vector<std::wstring> keys;
    std::wstring valueName;

    // The first `count` keys joined by backslashes, as the registry functions take them.
    std::wstring subKey(std::size_t count) const;
    std::wstring subKey() const { return subKey(keys.size()); }
    // The key of the first `count` keys, and the value, as an error names them: from the root.
    std::wstring keyText(std::size_t count) const;
    std::wstring valueText() const { return keyText(keys.size()) + L"\\" + valueName; }
};

// Accepts the roots HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER and HKCU (any case).
// An unknown root, a path without a backslash or an empty key name raises
// ERROR_INVALID_PARAMETER.
RegistryPath parseRegistryPath(const std::wstring& path);

} // namespace velkora::win32
