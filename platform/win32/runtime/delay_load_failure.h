#pragma once

#include <windows.h>
#include <delayimp.h>

#include "platform/platform_error.h"

namespace velkora::win32 {

// The error for a delay-loaded DLL, or one of its functions, that could not be found on the
// first call: "无法加载系统组件 X[ 的函数 F]：" and the system's description. None for any
// other notification of the delay-load helper.
bool isDelayLoadFailure(unsigned notification);
PlatformError delayLoadFailure(unsigned notification, const DelayLoadInfo& info);

// mingw-w64 keeps both hooks of the delay-load helper in one object of its runtime, so a
// program that sets the failure hook defines both, with this macro. Its hook must not
// return: it reports and ends the process.
#if defined(_MSC_VER)
#define VELKORA_DELAY_LOAD_FAILURE_HOOK(hook)                                                      \
    extern "C" const PfnDliHook __pfnDliFailureHook2 = hook;
#else
#define VELKORA_DELAY_LOAD_FAILURE_HOOK(hook)                                                      \
    extern "C" {                                                                                   \
    PfnDliHook __pfnDliNotifyHook2 = nullptr;                                                      \
    PfnDliHook __pfnDliFailureHook2 = hook;                                                        \
    }
#endif

} // namespace velkora::win32
