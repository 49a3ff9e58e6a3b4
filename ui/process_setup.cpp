#include "ui/process_setup.h"

#include <commctrl.h>

namespace velkora::ui {

namespace {

constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

} // namespace

win32::UniqueLibrary loadCommonControls() {
    // By name, so that the manifest's activation context redirects it to version 6.
    win32::UniqueLibrary library(LoadLibraryExW(L"comctl32.dll", nullptr, searchSystem32));
    if (!library) {
        library.reset(LoadLibraryW(L"comctl32.dll")); // no search flags before KB2533623
    }
    using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    const auto initCommonControlsEx =
        win32::loadProcedure<InitCommonControlsExFn>(library.get(), "InitCommonControlsEx");
    if (initCommonControlsEx != nullptr) {
        INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX),
                                     ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
        initCommonControlsEx(&classes);
    }
    return library;
}

} // namespace velkora::ui
