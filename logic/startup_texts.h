#pragma once

#include <string>

#include "logic/main_window_view.h"
#include "platform/platform.h"

namespace velkora {

extern const std::wstring currentPortPath;
extern const std::wstring noticeText;

// " 2026年1月5日                    BY：Harnoq"
std::wstring dateAndCreditLine(int year, int month, int day);

// Shows the current port (read first), then the date and credit line, then the notice.
void fillStartupTexts(MainWindowView& window, Platform& platform);

} // namespace velkora
