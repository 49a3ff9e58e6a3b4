#pragma once

#include <cstdint>
#include <string>

#include "platform/message_box.h"

namespace velkora {

enum class ValidationResult { Empty, NotANumber, TooLarge, TooSmall, Accepted };

constexpr std::uint32_t portLimit = 65535;

// Called once for every character typed into the port field: digits, Backspace (8) and
// 127 pass; every other code is set to 0, which discards the character.
void filterPortKey(std::int16_t& keyCode);

// Checks, in order: Empty, NotANumber (anything but ASCII digits), TooLarge (compared
// exactly, whatever the length), TooSmall (0, 00, ...). Leading zeros are fine.
ValidationResult validatePortText(const std::wstring& text);

struct RejectionTexts {
    std::wstring prompt;
    std::wstring title;
};

// The prompt and title of the rejection box for a rejecting result (empty for Accepted).
RejectionTexts rejectionTexts(ValidationResult result);

// Shows the rejection box for a rejecting result and returns when it is closed.
void reportRejection(ValidationResult result, MessageBoxService& messages);

} // namespace velkora
