#include "platform/win32/runtime/delay_load_failure.h"

#include <string>

#include "platform/win32/runtime/win32_error.h"

namespace velkora::win32 {
namespace {

std::wstring widened(const char* ascii) {
    std::wstring text;
    for (; ascii != nullptr && *ascii != '\0'; ++ascii) {
        text += static_cast<wchar_t>(static_cast<unsigned char>(*ascii));
    }
    return text;
}

} // namespace

bool isDelayLoadFailure(unsigned notification) {
    return notification == dliFailLoadLib || notification == dliFailGetProc;
}

PlatformError delayLoadFailure(unsigned notification, const DelayLoadInfo& info) {
    const DWORD error = info.dwLastError;
    std::wstring what = L"无法加载系统组件 " + widened(info.szDll);
    std::wstring call = L"LoadLibrary " + widened(info.szDll);
    if (notification == dliFailGetProc) {
        const std::wstring procedure = info.dlp.fImportByName
                                           ? widened(info.dlp.szProcName)
                                           : L"#" + std::to_wstring(info.dlp.dwOrdinal);
        what += L" 的函数 " + procedure;
        call = L"GetProcAddress " + widened(info.szDll) + L" " + procedure;
    }
    return PlatformError(static_cast<long>(error), what + L"：" + systemErrorText(error), false,
                         call);
}

} // namespace velkora::win32
