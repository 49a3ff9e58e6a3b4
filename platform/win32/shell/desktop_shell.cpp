#include "platform/win32/shell/desktop_shell.h"

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shobjidl.h>

#include "platform/win32/runtime/com_ids.h"
#include "platform/win32/runtime/unique_handles.h"

#include "platform/non_copyable.h"

namespace velkora::win32 {
namespace {

// A text VARIANT that clears itself; an empty text is left out (VT_EMPTY), as an
// argument that was not given.
class TextVariant : NonCopyable {
public:
    explicit TextVariant(const std::wstring& text) {
        VariantInit(&variant_);
        if (!text.empty()) {
            variant_.vt = VT_BSTR;
            variant_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        }
    }
    ~TextVariant() { VariantClear(&variant_); }
    bool valid() const { return variant_.vt == VT_EMPTY || variant_.bstrVal != nullptr; }
    const VARIANT& get() const { return variant_; }

private:
    VARIANT variant_;
};

// The desktop folder view's automation object, through the shell's window list:
// desktop window -> its browser -> the active view -> the view's dispatch -> the shell.
ComPtr<IShellDispatch2> desktopShellDispatch() {
    ComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(clsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, iidIShellWindows,
                                windows.putVoid()))) {
        return {};
    }
    VARIANT location; // the desktop folder: CSIDL_DESKTOP, 0
    VariantInit(&location);
    location.vt = VT_I4;
    location.lVal = 0;
    VARIANT root;
    VariantInit(&root);
    long window = 0;
    ComPtr<IDispatch> desktop;
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                              desktop.put()) != S_OK ||
        !desktop) {
        return {};
    }
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
    const bool reached =
        SUCCEEDED(desktop->QueryInterface(iidIServiceProvider, services.putVoid())) &&
        SUCCEEDED(
            services->QueryService(sidSTopLevelBrowser, iidIShellBrowser, browser.putVoid())) &&
        SUCCEEDED(browser->QueryActiveShellView(view.put())) && view &&
        SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, iidIDispatch, background.putVoid())) &&
        SUCCEEDED(background->QueryInterface(iidIShellFolderViewDual, folderView.putVoid())) &&
        SUCCEEDED(folderView->get_Application(application.put())) && application &&
        SUCCEEDED(application->QueryInterface(iidIShellDispatch2, shell.putVoid()));
    return reached ? std::move(shell) : ComPtr<IShellDispatch2>();
}

} // namespace

bool processIsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return true; // unknown: assume the worst, so that the desktop route is tried
    }
    UniqueKernelHandle owner(token);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)) {
        return true;
    }
    return elevation.TokenIsElevated != 0;
}

std::optional<HRESULT> openThroughDesktopShell(const std::wstring& operation,
                                               const std::wstring& file,
                                               const std::wstring& parameters,
                                               const std::wstring& directory, int showCommand) {
    const ComPtr<IShellDispatch2> shell = desktopShellDispatch();
    if (!shell) {
        return std::nullopt;
    }
    const TextVariant fileText(file);
    const TextVariant parametersText(parameters);
    const TextVariant directoryText(directory);
    const TextVariant operationText(operation);
    if (!fileText.valid() || !parametersText.valid() || !directoryText.valid() ||
        !operationText.valid()) {
        return E_OUTOFMEMORY;
    }
    VARIANT show;
    VariantInit(&show);
    show.vt = VT_I4;
    show.lVal = showCommand;
    return shell->ShellExecute(fileText.get().bstrVal, parametersText.get(), directoryText.get(),
                               operationText.get(), show);
}

} // namespace velkora::win32
