#pragma once

#include <string>

namespace velkora {

// UTF-8 of a wide text (UTF-16 on Windows, UTF-32 elsewhere); a lone surrogate or a code
// beyond U+10FFFF becomes U+FFFD, so the result is always valid UTF-8.
std::string toUtf8(const std::wstring& text);

// The wide text of UTF-8 (UTF-16 on Windows, UTF-32 elsewhere); a malformed sequence becomes
// U+FFFD.
std::wstring fromUtf8(const std::string& bytes);

} // namespace velkora
