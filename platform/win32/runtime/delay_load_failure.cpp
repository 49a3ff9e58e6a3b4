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
    if (notification == dliFailGetProc) {
        what += info.dlp.fImportByName ? L" 的函数 " + widened(info.dlp.szProcName)
                                       : L" 的函数 #" + std::to_wstring(info.dlp.dwOrdinal);
    }
    return PlatformError(static_cast<long>(error), what + L"：" + systemErrorText(error));
}

} // namespace velkora::win32
