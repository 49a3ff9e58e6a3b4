#include "platform/win32/runtime/process_setup.h"

#include <windows.h>

#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {

namespace {

constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

} // namespace

void restrictDllSearch() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    // Windows 7 has it only with update KB2533623; SetDllDirectoryW still drops the current
    // directory there.
    const auto setDefaultDllDirectories = loadProcedure<SetDefaultDllDirectoriesFn>(
        GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (setDefaultDllDirectories != nullptr) {
        setDefaultDllDirectories(searchSystem32);
    }
    SetDllDirectoryW(L"");
}

void terminateOnHeapCorruption() {
    HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

} // namespace velkora::win32
