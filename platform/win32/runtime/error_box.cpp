#include "platform/win32/runtime/error_box.h"

#include <windows.h>

namespace velkora::win32 {

std::wstring errorReportText(long number, const std::wstring& description) {
    return L"运行时错误 '" + errorNumberText(number) + L"':\r\n\r\n" + description;
}

void MessageBoxErrorReport::report(const PlatformError& error) {
    messages_.messageBox(errorReportText(error.number(), error.description()),
                         MessageBoxStyle::OkCritical, std::nullopt);
    end_.endProgram(ExitCode::AfterError);
}

} // namespace velkora::win32
