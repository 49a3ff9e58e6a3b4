#pragma once

namespace velkora::ui {

// The maker's website, opened by a click on the banner.
inline constexpr wchar_t websiteAddress[] = L"https://harnoq.example/";

// The tooltip of the date and credit line.
inline constexpr wchar_t makerCredit[] = L"Harnoq 出品";

} // namespace velkora::ui
