// What happens when a delay-loaded DLL or one of its functions cannot be found on the first
// call: an error report and the end of the program, instead of an unhandled exception.
// (The COM calls load their DLLs beforehand and report a failure as an ordinary error; this
// is the last resort.)
#include <windows.h>
#include <delayimp.h>

#include <string>

#include "platform/message_box.h"
#include "platform/win32/runtime.h"
#include "platform/win32/win32_error.h"

namespace {

std::wstring widened(const char* ascii) {
    std::wstring text;
    for (; ascii != nullptr && *ascii != '\0'; ++ascii) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(*ascii));
    }
    return text;
}

FARPROC WINAPI reportFailedDelayLoad(unsigned notification, PDelayLoadInfo info) {
    if (notification != dliFailLoadLib && notification != dliFailGetProc) {
        return nullptr;
    }
    const DWORD error = info->dwLastError;
    std::wstring what = L"无法加载系统组件 " + widened(info->szDll);
    if (notification == dliFailGetProc) {
        what += info->dlp.fImportByName ? L" 的函数 " + widened(info->dlp.szProcName)
                                        : L" 的函数 #" + std::to_wstring(info->dlp.dwOrdinal);
    }
    const std::wstring text = velkora::win32::errorReportText(
        static_cast<long>(error), what + L"：" + velkora::win32::systemErrorText(error));
    MessageBoxW(nullptr, text.c_str(), velkora::applicationTitle.c_str(),
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(error != 0 ? error : 1);
}

} // namespace

#if defined(_MSC_VER)
extern "C" const PfnDliHook __pfnDliFailureHook2 = reportFailedDelayLoad;
#else
// mingw-w64 keeps both hooks in one object of its runtime: defining one means both.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = nullptr;
PfnDliHook __pfnDliFailureHook2 = reportFailedDelayLoad;
}
#endif
