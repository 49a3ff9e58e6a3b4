#include "platform/win32/error_report.h"

#include <cwchar>
#include <iterator>

namespace velkora::win32 {

std::wstring errorReportText(long number, const std::wstring& description) {
    wchar_t shown[16] = {};
    if (number < 0) {
        std::swprintf(shown, std::size(shown), L"0x%08X", static_cast<unsigned int>(number));
    } else {
        std::swprintf(shown, std::size(shown), L"%ld", number);
    }
    return L"运行时错误 '" + std::wstring(shown) + L"':\r\n\r\n" + description;
}

void MessageBoxErrorReport::report(const PlatformError& error) {
    messages_.messageBox(errorReportText(error.number(), error.description()),
                         MessageBoxStyle::OkCritical, std::nullopt);
    end_.endProgram(ExitCode::AfterError);
}

} // namespace velkora::win32
