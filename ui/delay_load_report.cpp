// What happens when a delay-loaded DLL or one of its functions cannot be found on the first
// call: an error report and the end of the program, instead of an unhandled exception.
// (The COM calls load their DLLs beforehand and report a failure as an ordinary error; this
// is the last resort.)
#include "platform/message_box.h"
#include "platform/win32/runtime/delay_load_failure.h"
#include "platform/win32/runtime/error_box.h"

namespace {

FARPROC WINAPI reportFailedDelayLoad(unsigned notification, PDelayLoadInfo info) {
    if (!velkora::win32::isDelayLoadFailure(notification)) {
        return nullptr;
    }
    const velkora::PlatformError failure = velkora::win32::delayLoadFailure(notification, *info);
    const std::wstring text =
        velkora::win32::errorReportText(failure.number(), failure.description());
    MessageBoxW(nullptr, text.c_str(), velkora::applicationTitle.c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(info->dwLastError != 0 ? info->dwLastError : 1);
}

} // namespace

VELKORA_DELAY_LOAD_FAILURE_HOOK(reportFailedDelayLoad)
