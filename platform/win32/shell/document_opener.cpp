#include "platform/win32/shell/document_opener.h"

#include <shellapi.h>

#include "platform/win32/runtime/com_apartment.h"
#include "platform/win32/shell/desktop_shell.h"
#include "platform/win32/runtime/program_paths.h"
#include "platform/win32/runtime/unique_handles.h"

namespace velkora::win32 {
namespace {

using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT);

const wchar_t* nullIfEmpty(const std::wstring& text) {
    return text.empty() ? nullptr : text.c_str();
}

struct ShellEntry {
    ShellExecuteFn open;
    DWORD loadError;
};

ShellEntry loadShellExecute() {
    constexpr DWORD searchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    HMODULE shell32 = LoadLibraryExW(L"shell32.dll", nullptr, searchSystem32);
    if (shell32 == nullptr) { // Windows 7 without KB2533623 does not know the flag
        shell32 = LoadLibraryExW((systemDirectory() + L"\\shell32.dll").c_str(), nullptr, 0);
    }
    const auto open = loadProcedure<ShellExecuteFn>(shell32, "ShellExecuteW");
    return {open, open == nullptr ? GetLastError() : ERROR_SUCCESS};
}

// shell32 costs start-up time and memory, and only a click on the window opens a
// document: it is loaded then. It stays loaded for the rest of the process, since the
// shell may leave work of its own running in it after ShellExecuteW returns.
ShellExecuteFn shellExecute() {
    static const ShellEntry shell = loadShellExecute();
    if (shell.open == nullptr) {
        SetLastError(shell.loadError);
    }
    return shell.open;
}

} // namespace

void ShellDocumentOpener::openDocument(const std::wstring& operation, const std::wstring& file,
                                       const std::wstring& parameters,
                                       const std::wstring& directory, int showCommand) {
    // Shell extensions that handle the open are COM objects; DDE is not wanted.
    ComApartment com(COINIT_DISABLE_OLE1DDE);
    // Elevated, a direct open would start the handler (the user's browser, or whatever the
    // user's account registered) with administrator rights: the desktop's shell starts it
    // with the user's own. Only where there is no desktop shell is it opened directly.
    if (processIsElevated()) {
        if (const std::optional<HRESULT> result =
                openThroughDesktopShell(operation, file, parameters, directory, showCommand)) {
            // The shell's ShellExecute gives S_FALSE or an error when the open failed.
            lastError_ = *result == S_OK ? ERROR_SUCCESS : static_cast<unsigned long>(*result);
            return;
        }
    }
    openDirectly(operation, file, parameters, directory, showCommand);
}

void ShellDocumentOpener::openDirectly(const std::wstring& operation, const std::wstring& file,
                                       const std::wstring& parameters,
                                       const std::wstring& directory, int showCommand) {
    const ShellExecuteFn open = shellExecute();
    if (open == nullptr) {
        lastError_ = GetLastError();
        return;
    }
    SetLastError(ERROR_SUCCESS);
    open(owner_, nullIfEmpty(operation), file.c_str(), nullIfEmpty(parameters),
         nullIfEmpty(directory), showCommand);
    lastError_ = GetLastError();
}

} // namespace velkora::win32
