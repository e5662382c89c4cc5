#include "window/installer_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "setup/installer_win.h"
#include "setup/setup_rules.h"
#include "setup/uninstaller_win.h"
#include "system/file_system_win.h"
#include "system/message_pump_win.h"
#include "system/processes_win.h"
#include "system/registry_store_win.h"
#include "window/boxes_win.h"
#include "window/controls_win.h"
#include "window/page_logic.h"

namespace {
constexpr int windowWidth = 490;
constexpr int windowHeight = 357;
constexpr DWORD windowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// What the install and uninstall sequences report to: the bar, the pauses and the waits with the
// window's messages dispatched (so it repaints and sees Cancel), and the Cancel press.
class WindowProgress final : public Progress {
public:
    void position(unsigned percent) override;
    void pause(int ms) override { waitPumping(ms); }
    bool cancelRequested() const override;
    void wait(void* event, unsigned long ms) override {
        HANDLE handle = event;
        MsgWaitForMultipleObjectsEx(handle ? 1 : 0, &handle, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        pumpMessages();
    }
};

struct WindowState {
    const SetupContext* context = nullptr;
    ProcessEnd end = nullptr;
    std::wstring className;
    HINSTANCE instance = nullptr;
    HWND window = nullptr;
    PageState pageState = PageState::InstallOffer;
    WorkState workState = WorkState::NoWork;
    bool closeAllowed = false;
    // An install or uninstall sequence is running: it dispatches messages while it works, and
    // nothing but Cancel may start other work then.
    bool working = false;
    bool restartNeeded = false;  // the runtime installer asked for a restart before the application runs
    bool cancelPressed = false;
    WindowProgress progress;
    std::unique_ptr<Installer> theInstaller;
    WindowControls controls;
    HFONT smallFont = nullptr;
    HFONT largeFont = nullptr;
    Gdiplus::GpImage* logoImage = nullptr;
};

WindowState& state() {
    static WindowState s;
    return s;
}

void WindowProgress::position(unsigned percent) { setProgress(state().controls.progressBar, percent); }
bool WindowProgress::cancelRequested() const { return state().cancelPressed; }

const SetupContext& context() { return *state().context; }

// A string resource, read in place: LoadStringW with no buffer lends the resource's own text.
std::wstring loadedString(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

[[noreturn]] void endProcess() { state().end(); }

const std::wstring& brand() { return productConfig().brandName; }

void setText(HWND control, const std::wstring& value) { SetWindowTextW(control, value.c_str()); }
void show(HWND control, bool visible) { ShowWindow(control, visible ? SW_SHOW : SW_HIDE); }

PageTexts textsOf(PageView view) {
    const SetupContext& s = context();
    return pageTexts(view, brand(), s.installedVersion, s.offeredVersion);
}

void showInstallOffer() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(PageView::InstallOffer);
    setText(c.messageText, page.message);
    setText(c.actionButton, page.actionCaption);
}

void showUninstallOffer() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(PageView::UninstallOffer);
    setText(c.actionButton, page.actionCaption);
    setText(c.messageText, page.message);
}

void showUpgradeOffer() { setText(state().controls.messageText, textsOf(PageView::UpgradeOffer).message); }

void showNewerInstalled() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(PageView::NewerInstalled);
    setText(c.actionButton, page.actionCaption);
    show(c.cancelButton, false);
    setText(c.messageText, page.message);
}

void showFinalPage(PageView view) {
    WindowState& w = state();
    const PageTexts page = textsOf(view);
    setText(w.controls.messageText, page.message);
    w.pageState = PageState::FinalPage;
    show(w.controls.actionButton, true);
    ShowWindow(w.window, SW_HIDE);
    ShowWindow(w.window, SW_SHOW);
    show(w.controls.progressBar, false);
    setText(w.controls.actionButton, page.actionCaption);
}

std::wstring shownVersionLabel() {
    const SetupContext& s = context();
    return versionLabelText(text(L"IDS_VERSION"),
                            shownVersion(s.isInstalled, s.uninstallMode, s.installedVersion, s.offeredVersion).versionText);
}

std::wstring installerVersionLabel() {
    return installerVersionLabelText(text(L"IDS_INSTALL"), text(L"IDS_VERSION"), installerVersion);
}

void setVersionLabels() {
    const WindowControls& c = state().controls;
    setText(c.versionLabel, shownVersionLabel());
    setText(c.installerVersionLabel, installerVersionLabel());
}

void showFirstPage() {
    WindowState& w = state();
    const SetupContext& s = context();
    w.pageState = chooseFirstPage(s.isInstalled, s.uninstallMode, s.installedVersion, s.offeredVersion);
    switch (w.pageState) {
        case PageState::InstallOffer: showInstallOffer(); break;
        case PageState::UninstallOffer: showUninstallOffer(); break;
        case PageState::FinalPage: showNewerInstalled(); break;
        default: showUpgradeOffer(); break;
    }
}

// The progress page: only the bar and, while installing, Cancel take the place of the offer.
void showWorkPage(bool cancelVisible) {
    const WindowState& w = state();
    const WindowControls& c = w.controls;
    show(c.actionButton, false);
    show(c.cancelButton, cancelVisible);
    show(c.languageLabel, false);
    show(c.languageList, false);
    show(c.progressBar, true);
    InvalidateRect(w.window, nullptr, TRUE);
}

// Returns when everything is removed. A file that could not be removed is named in a box and
// the installer ends: the Uninstall entry stays, so the user can finish once the file is free.
void runUninstallPage() {
    WindowState& w = state();
    const WindowControls& c = w.controls;
    w.workState = WorkState::UninstallWork;
    showWorkPage(false);
    setText(c.messageText, textsOf(PageView::Uninstalling).message);
    w.progress.pause(stepPauseMs);
    Uninstaller uninstaller(w.progress);
    w.working = true;
    const RemovalResult removed = uninstaller.run();
    w.working = false;
    if (!removed.ok()) {
        if (w.theInstaller) w.theInstaller->discardStagedArchive();
        showMessageBox(text(L"error_uninstall_in_use", {brand(), removed.path}), text(L"IDS_TITLE_ERROR"), MB_OK);
        endProcess();
    }
}

// A step failed after the sequence had written files or keys: they are taken away as a Cancel
// takes them away, and the final page says the installation was not completed.
void rollBackFailedInstall() {
    show(state().controls.releaseNotesLink, false);
    setProgress(state().controls.progressBar, 0);
    runUninstallPage();
    showFinalPage(PageView::FailedFinal);
}

void onActionButton();

InstallResult runInstallPage() {
    WindowState& w = state();
    const WindowControls& c = w.controls;
    w.workState = WorkState::InstallWork;
    showWorkPage(true);
    setText(c.messageText, textsOf(PageView::Installing).message);
    w.working = true;
    const InstallResult result = w.theInstaller->run();
    w.working = false;
    if (result.outcome == InstallOutcome::FolderFailed) {
        showFolderFailure(L" ", productConfig().installFolder);
        endProcess();
    }
    if (result.outcome == InstallOutcome::ExtractorFailed) {
        showErrorBox(result.error, result.path);
        endProcess();
    }
    if (result.outcome == InstallOutcome::DownloadFailed) {
        showDownloadFailure(result.download);
        endProcess();
    }
    if (result.outcome == InstallOutcome::ExtractionFailed) {
        showMessageBox(text(L"error_extraction", {brand(), result.path}), text(L"IDS_TITLE_ERROR"), MB_OK);
        rollBackFailedInstall();
        return result;
    }
    if (result.outcome == InstallOutcome::StepFailed) {
        showErrorBox(result.error, result.path);
        rollBackFailedInstall();
        return result;
    }
    if (w.pageState == PageState::CancelRequested) {
        w.progress.position(0);
        w.progress.pause(stepPauseMs);
        onActionButton();
    }
    return result;
}

Installer& installer() {
    WindowState& w = state();
    if (!w.theInstaller) {
        w.theInstaller = std::make_unique<Installer>(context(), w.progress);
    }
    return *w.theInstaller;
}

void copyInstallerIntoInstallFolder() {
    const ProductConfig& config = productConfig();
    const std::int32_t copied = installer().copyInstaller();
    // The application is installed; only the entry that uninstalls it lacks its program.
    if (copied != 0) showErrorBox(copied, config.installFolder + config.selfFileName);
}

void launchApplication() {
    const ProductConfig& config = productConfig();
    shellExecute(L"runas", config.installFolder + config.appExeName);
}

// Only work that writes into the install folder makes sure of it, so Finish after an
// uninstallation leaves no empty folder behind.
void ensureInstallFolderOrEnd() {
    if (ensureInstallFolder()) return;
    showFolderFailure(L"  ", productConfig().installFolder);
    endProcess();
}

void install() {
    WindowState& w = state();
    installer();
    w.closeAllowed = false;
    const InstallResult result = runInstallPage();
    if (w.pageState == PageState::InstallOffer && result.outcome == InstallOutcome::Completed) {
        w.restartNeeded = result.restartNeeded;
        showFinalPage(result.restartNeeded ? PageView::InstalledRestartFinal : PageView::InstalledFinal);
        copyInstallerIntoInstallFolder();
        // The application is in place; without its runtime it may not start, and the user is told.
        if (result.runtimeFailure != 0) {
            showMessageBox(text(L"error_runtime", {brand(), std::to_wstring(result.runtimeFailure)}),
                           text(L"IDS_TITLE_ERROR"), MB_OK);
        }
    }
    w.closeAllowed = true;
}

// Downloads and verifies the new archive while the old version stays untouched; false when the
// upgrade ends here (a failure box was shown and the process ends, or Cancel was pressed).
bool stageUpgrade() {
    WindowState& w = state();
    const WindowControls& c = w.controls;
    w.workState = WorkState::InstallWork;
    showWorkPage(true);
    setText(c.messageText, text(L"IDS_INSTALLING_TEXT", {brand()}));
    w.working = true;
    const DownloadResult staged = installer().stageArchive();
    w.working = false;
    if (staged.ok()) return true;
    if (staged.code == ABORTED) {
        w.workState = WorkState::NoWork;
        showFinalPage(PageView::CancelledFinal);
        w.closeAllowed = true;
        return false;
    }
    showDownloadFailure(staged, text(L"error_upgrade_kept"));
    endProcess();
}

void onActionButton() {
    WindowState& w = state();
    switch (w.pageState) {
        case PageState::InstallOffer:
            ensureInstallFolderOrEnd();
            install();
            break;
        case PageState::UpgradeOffer:
            ensureInstallFolderOrEnd();
            w.closeAllowed = false;
            // The new archive first: a failed download leaves the old version as it was.
            if (!stageUpgrade()) break;
            runUninstallPage();
            w.pageState = PageState::InstallOffer;
            install();
            break;
        case PageState::UninstallOffer:
        case PageState::CancelRequested:
            show(w.controls.releaseNotesLink, false);
            w.closeAllowed = false;
            runUninstallPage();
            showFinalPage(w.pageState == PageState::UninstallOffer ? PageView::UninstalledFinal
                                                                   : PageView::CancelledFinal);
            w.closeAllowed = true;
            break;
        case PageState::FinalPage:
            if (w.workState == WorkState::InstallWork && !w.restartNeeded) launchApplication();
            endProcess();
    }
}

void onCancelButton() {
    WindowState& w = state();
    // While the new archive of an upgrade downloads, nothing is changed yet: Cancel only stops it.
    if (w.pageState == PageState::UpgradeOffer && w.working && w.theInstaller) {
        w.cancelPressed = true;
        return;
    }
    if (w.pageState == PageState::InstallOffer && w.theInstaller) {
        w.cancelPressed = true;
        w.pageState = PageState::CancelRequested;
        return;
    }
    endProcess();
}

void onReleaseNotesLink() {
    if (state().working) return;
    const ProductConfig& config = productConfig();
    ensureInstallFolderOrEnd();
    const std::wstring path = config.vendorFolder + config.releaseNotesFileName;
    if (!pathExists(path)) {
        // Not part of the sequence: a Cancel pressed during it does not stop the notes.
        state().cancelPressed = false;
        const DownloadResult notes =
            downloadFile(L"", config.vendorFolder, config.releaseNotesFileName, 0, 0, state().progress);
        if (!notes.ok()) {
            showDownloadFailure(notes);
            return;
        }
    }
    shellExecute(L"open", path);
}

void onLanguageChange() {
    WindowState& w = state();
    if (w.working) return;
    const WindowControls& c = w.controls;
    const LRESULT index = SendMessageW(c.languageList, CB_GETCURSEL, 0, 0);
    const LRESULT length = index == CB_ERR ? CB_ERR : SendMessageW(c.languageList, CB_GETLBTEXTLEN, index, 0);
    std::wstring name(length == CB_ERR ? 0 : static_cast<std::size_t>(length) + 1, L'\0');
    if (!name.empty()) {
        SendMessageW(c.languageList, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(name.data()));
        name.resize(wcslen(name.c_str()));
    }
    const std::wstring culture = textTable().cultureForName(name);
    textTable().setCulture(culture);
    RegistryStore().writeCurrentCulture(culture);

    setText(c.cancelButton, text(L"IDS_CANCEL"));
    setText(c.releaseNotesLink, text(L"IDS_VIEW_RELEASE_NOTES"));
    switch (w.pageState) {
        case PageState::InstallOffer:
            setText(c.actionButton, text(L"IDS_INSTALL"));
            showInstallOffer();
            break;
        case PageState::UninstallOffer:
            setText(c.actionButton, text(L"IDS_UNINSTALL"));
            showUninstallOffer();
            break;
        case PageState::UpgradeOffer:
            setText(c.actionButton, text(L"IDS_INSTALL"));
            showUpgradeOffer();
            break;
        default: showNewerInstalled(); break;
    }
    setText(c.languageLabel, text(L"options_select_language"));
    setVersionLabels();
}

void onCommand(WPARAM wParam, LPARAM lParam) {
    const WindowControls& c = state().controls;
    const HWND sender = reinterpret_cast<HWND>(lParam);
    if (!sender) return;
    if (sender == c.actionButton) {
        onActionButton();
    } else if (sender == c.cancelButton) {
        onCancelButton();
    } else if (sender == c.releaseNotesLink) {
        onReleaseNotesLink();
    } else if (sender == c.languageList && HIWORD(wParam) == CBN_SELCHANGE) {
        onLanguageChange();
    }
}

void onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paintLogoAndSeparator(dc, state().logoImage);
    EndPaint(window, &paint);
}

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowState& w = state();
    switch (message) {
        case WM_CREATE:
            w.smallFont = createAppFont(window, 10);
            w.largeFont = createAppFont(window, 12);
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CLOSE:
            if (w.closeAllowed) {
                DestroyWindow(window);
                endProcess();
            }
            return 0;
        case WM_PAINT:
            onPaint(window);
            return 0;
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<LRESULT>(
                colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam), w.controls.releaseNotesLink));
        case WM_COMMAND:
            onCommand(wParam, lParam);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

}  // namespace

ATOM registerInstallerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(PRODUCT_ICON_ID));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(PRODUCT_ICON_ID));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    state().className = loadedString(instance, WINDOW_CLASS_STRING_ID);
    windowClass.lpszClassName = state().className.c_str();
    return RegisterClassExW(&windowClass);
}

bool createInstallerWindow(HINSTANCE instance, int showCommand, const SetupContext& setup, ProcessEnd end) {
    WindowState& w = state();
    w.context = &setup;
    w.end = end;
    w.instance = instance;
    startGdiPlus();
    w.window = CreateWindowExW(0, w.className.c_str(), productConfig().installerTitle.c_str(), windowStyle,
                               CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!w.window) return false;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - windowWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - windowHeight) / 2;
    SetWindowPos(w.window, nullptr, x, y, windowWidth, windowHeight, SWP_NOZORDER);
    w.logoImage = loadPngResource(productConfig().logoImageId);
    createControls(w.controls, w.window, instance, shownVersionLabel(), installerVersionLabel());
    assignFontsAndCursors(w.controls, w.smallFont, w.largeFont);
    showFirstPage();
    ShowWindow(w.window, showCommand);
    UpdateWindow(w.window);
    return true;
}
