#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/platform_error.h"

namespace velkora {

// A value as the tool reads and writes it: the number of a REG_DWORD, or the text of a
// REG_SZ (a REG_EXPAND_SZ reads as its text, unexpanded).
using RegistryValue = std::variant<std::uint32_t, std::wstring>;

// A value exactly as stored: its registry type code (REG_SZ = 1, REG_DWORD = 4, ...)
// and its raw bytes.
struct StoredRegistryValue {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> bytes;

    bool operator==(const StoredRegistryValue&) const = default;
};

// What a path held before a change: the value (absent when it did not exist) and how
// many of the trailing keys on the way to it did not exist yet (a write creates them).
struct RegistryValueState {
    std::optional<StoredRegistryValue> value;
    int missingKeys = 0;

    bool operator==(const RegistryValueState&) const = default;
};

// What a stored value reads as: the number of a four-byte REG_DWORD, the text of a REG_SZ or
// REG_EXPAND_SZ (UTF-16LE, up to its first NUL); none for any other type or size.
inline std::optional<RegistryValue> valueOf(const StoredRegistryValue& stored) {
    constexpr std::uint32_t regSz = 1;
    constexpr std::uint32_t regExpandSz = 2;
    constexpr std::uint32_t regDword = 4;
    const std::vector<std::uint8_t>& b = stored.bytes;
    if (stored.type == regDword && b.size() == 4) {
        return static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                          (static_cast<std::uint32_t>(b[3]) << 24));
    }
    if (stored.type != regSz && stored.type != regExpandSz) {
        return std::nullopt;
    }
    std::wstring text;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        const std::uint32_t unit = b[i] | (b[i + 1] << 8);
        if (unit == 0) {
            break;
        }
        const bool pairs =
            sizeof(wchar_t) == 4 && unit >= 0xD800 && unit < 0xDC00 && i + 3 < b.size();
        const std::uint32_t next = pairs ? (b[i + 2] | (b[i + 3] << 8)) : 0;
        if (next >= 0xDC00 && next < 0xE000) { // a surrogate pair, where wchar_t holds it whole
            text.push_back(
                static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
            i += 2;
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

// The registry, in the 64-bit view where the listener keeps its values. A path is
// "ROOT\key\...\key\name": the root key spelled out (HKEY_LOCAL_MACHINE or HKLM,
// HKEY_CURRENT_USER or HKCU), the value name after the last backslash, kept exactly (colons
// and trailing spaces included). Every failure raises PlatformError with the Win32 code.
class Registry {
public:
    virtual ~Registry() = default;

    // The value; a value of another type than REG_DWORD, REG_SZ or REG_EXPAND_SZ is an error,
    // and so is one that does not exist (ERROR_FILE_NOT_FOUND, as the system words it).
    virtual RegistryValue read(const std::wstring& path) = 0;

    // As read, but a value or key that does not exist is none rather than an error.
    virtual std::optional<RegistryValue> readIfPresent(const std::wstring& path) = 0;

    // A REG_DWORD value as its number; a value of any other type is invalid data.
    std::uint32_t readNumber(const std::wstring& path) {
        const RegistryValue value = read(path);
        if (const auto* number = std::get_if<std::uint32_t>(&value)) {
            return *number;
        }
        throw PlatformError(ErrorNumber::InvalidData, L"数据无效。");
    }

    // Stores a number as REG_DWORD, a text as REG_SZ. Missing keys are created; a write that
    // fails changes nothing, so keys it created on the way are removed again.
    virtual void write(const std::wstring& path, const RegistryValue& value) = 0;

    // The state of a path, taken before a change so that it can be put back.
    virtual RegistryValueState capture(const std::wstring& path) = 0;

    // Puts a captured state back: the old type and bytes, or no value at all; then removes
    // the keys that did not exist (deepest first, only while they are empty).
    virtual void restore(const std::wstring& path, const RegistryValueState& before) = 0;
};

} // namespace velkora
