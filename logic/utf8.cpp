#include "logic/utf8.h"

#include <cstdint>

namespace velkora {
namespace {

constexpr std::uint32_t replacement = 0xFFFD;

bool isHighSurrogate(std::uint32_t c) {
    return c >= 0xD800 && c < 0xDC00;
}
bool isLowSurrogate(std::uint32_t c) {
    return c >= 0xDC00 && c < 0xE000;
}

void append(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string toUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = static_cast<std::uint32_t>(text[i]);
        if (isHighSurrogate(c) && i + 1 < text.size() &&
            isLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[++i]) - 0xDC00);
        } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
            c = replacement;
        }
        append(out, c);
    }
    return out;
}

std::wstring fromUtf8(const std::string& bytes) {
    std::wstring out;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto byte = [&](std::size_t k) {
            return static_cast<std::uint8_t>(bytes[k]);
        };
        const std::uint8_t lead = byte(i);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::uint32_t c = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = lead < 0x80 || (lead >= 0xC2 && lead < 0xF5 && i + length <= bytes.size());
        for (std::size_t k = 1; valid && k < length; ++k) {
            valid = (byte(i + k) & 0xC0) == 0x80;
            c = (c << 6) | (byte(i + k) & 0x3F);
        }
        valid = valid && !isHighSurrogate(c) && !isLowSurrogate(c) && c <= 0x10FFFF;
        if (!valid) {
            c = replacement;
            i += 1;
        } else {
            i += length;
        }
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            out += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

} // namespace velkora
