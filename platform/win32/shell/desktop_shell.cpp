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

// The way to the desktop folder view's automation object, through the shell's window list:
// desktop window -> its browser -> the active view -> the view's dispatch -> the shell. Each
// of these is a proxy to an object in explorer, and releasing a proxy is one more call into
// explorer that this thread waits for: they are all held until the shell has been asked to
// open, so that the browser starts before those calls are made, not after.
struct DesktopShellRoute : NonCopyable {
    ComPtr<IShellWindows> windows;
    ComPtr<IDispatch> desktop;
    ComPtr<IServiceProvider> services;
    ComPtr<IShellBrowser> browser;
    ComPtr<IShellView> view;
    ComPtr<IDispatch> background;
    ComPtr<IShellFolderViewDual> folderView;
    ComPtr<IDispatch> application;
    ComPtr<IShellDispatch2> shell;
};

// False when the desktop's shell cannot be reached (where none runs, as on Server Core).
bool reachDesktopShell(DesktopShellRoute& route) {
    if (FAILED(CoCreateInstance(clsidShellWindows, nullptr, CLSCTX_LOCAL_SERVER, iidIShellWindows,
                                route.windows.putVoid()))) {
        return false;
    }
    VARIANT location; // the desktop folder: CSIDL_DESKTOP, 0
    VariantInit(&location);
    location.vt = VT_I4;
    location.lVal = 0;
    VARIANT root;
    VariantInit(&root);
    long window = 0;
    if (route.windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                    route.desktop.put()) != S_OK ||
        !route.desktop) {
        return false;
    }
    return SUCCEEDED(
               route.desktop->QueryInterface(iidIServiceProvider, route.services.putVoid())) &&
           SUCCEEDED(route.services->QueryService(sidSTopLevelBrowser, iidIShellBrowser,
                                                  route.browser.putVoid())) &&
           SUCCEEDED(route.browser->QueryActiveShellView(route.view.put())) && route.view &&
           SUCCEEDED(route.view->GetItemObject(SVGIO_BACKGROUND, iidIDispatch,
                                               route.background.putVoid())) &&
           SUCCEEDED(route.background->QueryInterface(iidIShellFolderViewDual,
                                                      route.folderView.putVoid())) &&
           SUCCEEDED(route.folderView->get_Application(route.application.put())) &&
           route.application &&
           SUCCEEDED(route.application->QueryInterface(iidIShellDispatch2, route.shell.putVoid()));
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
    DesktopShellRoute route;
    if (!reachDesktopShell(route)) {
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
    return route.shell->ShellExecute(fileText.get().bstrVal, parametersText.get(),
                                     directoryText.get(), operationText.get(), show);
}

} // namespace velkora::win32
