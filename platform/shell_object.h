#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace velkora {

// What regread gives: the number of a REG_DWORD value, or the text of a REG_SZ one.
using RegistryValue = std::variant<std::uint32_t, std::wstring>;

// A value exactly as stored: its registry type code (REG_SZ = 1, REG_DWORD = 4, ...)
// and its raw bytes.
struct StoredRegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;

    bool operator==(const StoredRegistryValue& o) const {
        return type == o.type && bytes == o.bytes;
    }
};

// What a path held before a change: the value (absent when it did not exist) and how
// many of the trailing keys on the way to it did not exist yet (a write creates them).
struct RegistryValueState {
    std::optional<StoredRegistryValue> value;
    int missingKeys = 0;

    bool operator==(const RegistryValueState& o) const {
        return value == o.value && missingKeys == o.missingKeys;
    }
};

// The registry shell object. A path is "ROOT\key\...\key\name": the root key spelled out
// (HKEY_LOCAL_MACHINE or HKLM, HKEY_CURRENT_USER or HKCU), the value name after the last
// backslash, kept exactly (colons and trailing spaces included).
// Every failure raises PlatformError with the Win32 code.
class ShellObject {
public:
    virtual ~ShellObject() = default;

    // REG_DWORD -> the number; REG_SZ / REG_EXPAND_SZ -> the text; any other type is an error.
    virtual RegistryValue regread(const std::wstring& path) = 0;

    // typeName "REG_DWORD": data is decimal digits with optional spaces around them, stored
    // as the 32-bit number (" 080 " stores 80); anything else is an error.
    // typeName "REG_SZ": data stored unchanged. Missing keys are created; a write that
    // fails changes nothing, so keys it created on the way are removed again.
    virtual void regwrite(const std::wstring& path, const std::wstring& data,
                          const std::wstring& typeName) = 0;

    // The state of a path, taken before a change so that it can be put back.
    virtual RegistryValueState capture(const std::wstring& path) = 0;

    // Puts a captured state back: the old type and bytes, or no value at all; then removes
    // the keys that did not exist (deepest first, only while they are empty).
    virtual void restore(const std::wstring& path, const RegistryValueState& before) = 0;
};

// create("wscript.shell"): the object belongs to the caller and is released when the
// unique_ptr goes. The registry object answers to the scripting shell's ProgID so that
// callers name what they use exactly as before; any other ProgID fails like an unknown class.
class ShellObjectFactory {
public:
    virtual ~ShellObjectFactory() = default;
    virtual std::unique_ptr<ShellObject> create(const std::wstring& progId) = 0;
};

} // namespace velkora
