#pragma once

#include <string>

#include "platform/error_report.h"
#include "platform/message_box.h"
#include "platform/program_end.h"

namespace velkora::win32 {

// "运行时错误 'N':", an empty line, then the description, lines joined by CR LF. A
// negative number is an HRESULT and shows as 0x followed by eight hex digits.
std::wstring errorReportText(long number, const std::wstring& description);

// Shows the text in a box with the application title, the OK button and the critical
// icon, then ends the program with ExitCode::AfterError.
class MessageBoxErrorReport final : public ErrorReport {
public:
    MessageBoxErrorReport(MessageBoxService& messages, ProgramEnd& end)
        : messages_(messages), end_(end) {}
    void report(const PlatformError& error) override;

private:
    MessageBoxService& messages_;
    ProgramEnd& end_;
};

} // namespace velkora::win32
