#pragma once

#include <string>

#include "logic/form_view.h"
#include "platform/platform.h"

namespace velkora {

extern const std::wstring currentPortPath;
extern const std::wstring noticeText;

// " 2026年1月5日                    BY：Harnoq"
std::wstring dateAndCreditLine(int year, int month, int day);

// Fills Label2 (current port, read first), Label5 (date and credit), Label6 (notice).
void fillStartupTexts(FormView& form, Platform& platform);

} // namespace velkora
