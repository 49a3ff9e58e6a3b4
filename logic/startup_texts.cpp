#include "logic/startup_texts.h"

#include "logic/listener_paths.h"
#include "logic/listener_settings.h"

#include <memory>
#include <variant>

namespace velkora {

const std::wstring currentPortPath = listenerTdsPortPath;

const std::wstring noticeText =
    L"端口最大值为65535，请修改未使用的端口。本软件会自动添加新端口到防火墙例外。"
    L"修改完成软件会提示重启才能生效！";

namespace {

// A REG_DWORD shows as its decimal digits, a string value as its text.
struct ValueAsText {
    std::wstring operator()(std::uint32_t number) const { return std::to_wstring(number); }
    std::wstring operator()(const std::wstring& text) const { return text; }
};

} // namespace

std::wstring dateAndCreditLine(int year, int month, int day) {
    return L" " + std::to_wstring(year) + L"年" + std::to_wstring(month) + L"月" +
           std::to_wstring(day) + L"日                    BY：Harnoq";
}

void fillStartupTexts(MainWindowView& window, Platform& platform) {
    const std::wstring currentPort =
        std::visit(ValueAsText{}, readListenerPortValue(platform.registry));
    window.showCurrentPort(currentPort);

    // One clock reading per field, as the tool has always done: a start at midnight may
    // mix two days, which the credit line tolerates.
    const int thisYear = year(platform.clock.today());
    const int thisMonth = month(platform.clock.today());
    const int thisDay = day(platform.clock.today());
    window.showCreditLine(dateAndCreditLine(thisYear, thisMonth, thisDay));

    window.showNotice(noticeText);
}

} // namespace velkora
