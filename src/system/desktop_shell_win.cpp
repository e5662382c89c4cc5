#include "system/desktop_shell_win.h"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlguid.h>
#include <servprov.h>

#include "system/handles_win.h"
#include "system/system_functions_win.h"

namespace {
struct SystemStringTraits {
    static BSTR invalid() { return nullptr; }
    static void close(BSTR text) { automation().SysFreeString(text); }
};
using SystemString = UniqueHandle<BSTR, SystemStringTraits>;

// A VARIANT that only borrows its text: the owner above frees it.
VARIANT textVariant(BSTR text) {
    VARIANT v;
    automation().VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text;
    return v;
}

VARIANT numberVariant(long number) {
    VARIANT v;
    automation().VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = number;
    return v;
}

// The desktop's shell object, in the process that draws the user's desktop.
HRESULT desktopShell(ComPointer<IShellDispatch2>& shell) {
    ComPointer<IShellWindows> windows;
    HRESULT result = CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                      reinterpret_cast<void**>(windows.out()));
    if (FAILED(result)) return result;
    VARIANT location;
    automation().VariantInit(&location);
    VARIANT root;
    automation().VariantInit(&root);
    long window = 0;
    ComPointer<IDispatch> desktop;
    result = windows.get()->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, desktop.out());
    if (result == S_FALSE || !desktop) return FAILED(result) ? result : E_NOINTERFACE;
    if (FAILED(result)) return result;
    ComPointer<IServiceProvider> services;
    result = desktop.get()->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.out()));
    if (FAILED(result)) return result;
    ComPointer<IShellBrowser> browser;
    result = services.get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, reinterpret_cast<void**>(browser.out()));
    if (FAILED(result)) return result;
    ComPointer<IShellView> view;
    result = browser.get()->QueryActiveShellView(view.out());
    if (FAILED(result)) return result;
    ComPointer<IDispatch> background;
    result = view.get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, reinterpret_cast<void**>(background.out()));
    if (FAILED(result)) return result;
    ComPointer<IShellFolderViewDual> folderView;
    result = background.get()->QueryInterface(IID_IShellFolderViewDual, reinterpret_cast<void**>(folderView.out()));
    if (FAILED(result)) return result;
    ComPointer<IDispatch> application;
    result = folderView.get()->get_Application(application.out());
    if (FAILED(result)) return result;
    if (!application) return E_NOINTERFACE;
    return application.get()->QueryInterface(IID_IShellDispatch2, reinterpret_cast<void**>(shell.out()));
}
}  // namespace

Failure openAsDesktopUser(const std::wstring& path) {
    // Its strings and variants come from the automation library, found by its full path.
    if (!automation().complete()) return Failure::win32(ERROR_PROC_NOT_FOUND, path);
    enterComApartment();
    ComPointer<IShellDispatch2> shell;
    HRESULT result = desktopShell(shell);
    if (SUCCEEDED(result)) {
        const SystemString file(automation().SysAllocString(path.c_str()));
        const SystemString verb(automation().SysAllocString(L"open"));
        const SystemString none(automation().SysAllocString(L""));
        if (!file || !verb || !none) return Failure::hresult(E_OUTOFMEMORY, path);
        VARIANT arguments = textVariant(none.get());
        VARIANT folder = textVariant(none.get());
        VARIANT operation = textVariant(verb.get());
        VARIANT show = numberVariant(SW_SHOWNORMAL);
        result = shell.get()->ShellExecute(file.get(), arguments, folder, operation, show);
    }
    return Failure::hresult(result, path);
}
