#include "window/installer_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/product_config.h"
#include "common/resource_ids.h"
#include "download/download_win.h"
#include "localization/text_table.h"
#include "setup/installer_win.h"
#include "setup/setup_rules.h"
#include "setup/uninstaller_win.h"
#include "system/desktop_shell_win.h"
#include "system/file_system_win.h"
#include "system/log_win.h"
#include "system/message_pump_win.h"
#include "system/processes_win.h"
#include "system/registry_store_win.h"
#include "system/system_functions_win.h"
#include "window/accessible_names_win.h"
#include "window/boxes_win.h"
#include "window/controls_win.h"
#include "window/page_logic.h"

namespace {
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
    // Everything else the window decides follows from the page.
    Page page = Page::InstallOffer;
    WindowProgress progress;
    std::unique_ptr<Installer> theInstaller;
    WindowControls controls;
    HFONT smallFont = nullptr;
    HFONT largeFont = nullptr;
    int dpi = 96;
    Gdiplus::GpImage* logoImage = nullptr;
};

WindowState& state() {
    static WindowState s;
    return s;
}

void WindowProgress::position(unsigned percent) { setProgress(state().controls.progressBar, percent); }
bool WindowProgress::cancelRequested() const { return ::cancelRequested(state().page); }

const SetupContext& context() { return *state().context; }

// A string resource, read in place: LoadStringW with no buffer lends the resource's own text.
std::wstring loadedString(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

// A -passive run's work starts with this message, once the window is shown.
constexpr UINT passiveWorkMessage = WM_APP + 1;

[[noreturn]] void endProcess(ExitCode code) {
    logLine(std::wstring(L"result: ") + pageName(state().page));
    state().end(code);
}

const std::wstring& brand() { return productConfig().brandName; }

void setText(HWND control, const std::wstring& value) { SetWindowTextW(control, value.c_str()); }
void show(HWND control, bool visible) { ShowWindow(control, visible ? SW_SHOW : SW_HIDE); }
// Keys reach hidden controls too (Enter is sent to the default button's identifier, Escape to
// Cancel's): only a control the page shows and enables acts.
bool usable(HWND control) { return IsWindowVisible(control) && IsWindowEnabled(control); }

// The keyboard focus goes to the page's default button; on a progress page to Cancel, else to
// the window, so no key acts on a hidden control.
void focusPageDefault() {
    const WindowState& w = state();
    const WindowControls& c = w.controls;
    const HWND target = usable(c.actionButton) ? c.actionButton : usable(c.cancelButton) ? c.cancelButton : nullptr;
    if (target) {
        SendMessageW(w.window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
    } else {
        SetFocus(w.window);
    }
}

// The names a screen reader reads where the control's own text does not name it.
void nameControls() {
    const WindowState& w = state();
    setAccessibleName(w.controls.languageList, text(L"options_select_language"));
    setAccessibleName(w.controls.progressBar, text(cancelVisible(w.page) ? L"IDS_INSTALL" : L"IDS_UNINSTALL"));
}

PageTexts textsOf(Page page) {
    const SetupContext& s = context();
    return pageTexts(page, brand(), s.installedVersion, s.offeredVersion);
}

// Moves to the page that follows the event.
Page go(Event event) {
    WindowState& w = state();
    w.page = next(w.page, event);
    return w.page;
}

[[noreturn]] void endAfterFailure() {
    go(Event::Fatal);
    endProcess(ExitCode::Fatal);
}

void showInstallOffer() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(Page::InstallOffer);
    setText(c.messageText, page.message);
    setText(c.actionButton, page.actionCaption);
}

void showUninstallOffer() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(Page::UninstallOffer);
    setText(c.actionButton, page.actionCaption);
    setText(c.messageText, page.message);
}

void showUpgradeOffer() { setText(state().controls.messageText, textsOf(Page::UpgradeOffer).message); }

void showNewerInstalled() {
    const WindowControls& c = state().controls;
    const PageTexts page = textsOf(Page::NewerInstalled);
    setText(c.actionButton, page.actionCaption);
    show(c.cancelButton, false);
    setText(c.messageText, page.message);
}

void showFinalPage() {
    WindowState& w = state();
    const PageTexts page = textsOf(w.page);
    setText(w.controls.messageText, page.message);
    show(w.controls.actionButton, true);
    ShowWindow(w.window, SW_HIDE);
    ShowWindow(w.window, SW_SHOW);
    show(w.controls.progressBar, false);
    setText(w.controls.actionButton, page.actionCaption);
    focusPageDefault();
}

std::wstring shownVersionLabel() {
    const SetupContext& s = context();
    return versionLabelText(shownVersion(s.isInstalled, s.uninstallMode, s.installedVersion, s.offeredVersion).versionText);
}

std::wstring installerVersionLabel() {
    return installerVersionLabelText(installerVersion);
}

void setVersionLabels() {
    const WindowControls& c = state().controls;
    setText(c.versionLabel, shownVersionLabel());
    setText(c.installerVersionLabel, installerVersionLabel());
}

void showOfferPage() {
    switch (state().page) {
        case Page::InstallOffer: showInstallOffer(); break;
        case Page::UninstallOffer: showUninstallOffer(); break;
        case Page::UpgradeOffer: showUpgradeOffer(); break;
        default: showNewerInstalled(); break;
    }
}

// The progress page: only the bar and, while installing, Cancel take the place of the offer.
void showWorkPage() {
    const WindowState& w = state();
    const WindowControls& c = w.controls;
    show(c.actionButton, false);
    show(c.cancelButton, cancelVisible(w.page));
    show(c.languageLabel, false);
    show(c.languageList, false);
    show(c.progressBar, true);
    setText(c.messageText, textsOf(w.page).message);
    nameControls();
    focusPageDefault();
    InvalidateRect(w.window, nullptr, TRUE);
}

Installer& installer() {
    WindowState& w = state();
    if (!w.theInstaller) w.theInstaller = std::make_unique<Installer>(context(), w.progress);
    return *w.theInstaller;
}

// Returns when everything is removed. A file that could not be removed is named in a box and
// the installer ends: the Uninstall entry stays, so the user can finish once the file is free.
void runUninstallWork() {
    WindowState& w = state();
    showWorkPage();
    w.progress.pause(stepPauseMs);
    const Failure removed = Uninstaller(w.progress).run();
    if (!removed.ok()) {
        if (w.theInstaller) w.theInstaller->discardStagedArchive();
        showMessageBox(text(L"error_uninstall_in_use", {brand(), removed.path}), text(L"IDS_TITLE_ERROR"), MB_OK);
        endAfterFailure();
    }
    go(Event::Done);
}

void runInstallWork() {
    WindowState& w = state();
    showWorkPage();
    const InstallResult result = installer().run();
    switch (result.outcome) {
        case InstallOutcome::FolderFailed:
            showFolderFailure(L" ", productConfig().installFolder);
            endAfterFailure();
        // Not the program the user approved: nothing was done, and nothing is.
        case InstallOutcome::ImageRefused:
            showErrorBox(result.failure);
            endAfterFailure();
        // What the installation wrote before it failed is removed, as after any failed step.
        case InstallOutcome::ExtractorFailed:
            showErrorBox(result.failure);
            go(Event::Failed);
            break;
        case InstallOutcome::DownloadFailed:
            showDownloadFailure(result.failure);
            go(Event::Failed);
            break;
        case InstallOutcome::ExtractionFailed:
            showMessageBox(text(L"error_extraction", {brand(), result.failure.path}), text(L"IDS_TITLE_ERROR"),
                           MB_OK);
            go(Event::Failed);
            break;
        case InstallOutcome::StepFailed:
            showErrorBox(result.failure);
            go(Event::Failed);
            break;
        case InstallOutcome::Cancelled: go(Event::Stopped); break;
        case InstallOutcome::Completed: go(result.restartNeeded ? Event::Restart : Event::Done); break;
    }
    switch (w.page) {
        case Page::UndoingFailed: w.progress.position(0); break;
        case Page::UndoingCancelled:
            w.progress.position(0);
            w.progress.pause(stepPauseMs);
            break;
        case Page::InstalledFinal:
        case Page::InstalledRestartFinal:
            showFinalPage();
            // Installed without the shortcut: the user learns which file could not be written.
            if (!result.shortcutFailure.ok()) showErrorBox(result.shortcutFailure);
            // The application is in place; without its runtime it may not start, and the user is told.
            if (result.runtimeFailure != 0) {
                showMessageBox(text(L"error_runtime", {brand(), std::to_wstring(result.runtimeFailure)}),
                               text(L"IDS_TITLE_ERROR"), MB_OK);
            }
            break;
        default: break;
    }
}

// Downloads and verifies the new archive while the old version stays untouched.
void runUpgradeDownload() {
    showWorkPage();
    const DownloadResult staged = installer().stageArchive();
    if (staged.ok()) {
        // A Cancel that came too late for the download still leaves the old version as it was.
        if (go(Event::Done) == Page::CancelledFinal) installer().discardStagedArchive();
        return;
    }
    if (staged.is(Special::Aborted)) {
        go(Event::Stopped);
        return;
    }
    showDownloadFailure(staged, text(L"error_upgrade_kept"));
    endAfterFailure();
}

// Runs the work of each page until a page without work is reached, and shows that page.
void runWork() {
    WindowState& w = state();
    for (;;) {
        switch (w.page) {
            case Page::Installing: runInstallWork(); break;
            case Page::DownloadingUpgrade:
            case Page::CancellingUpgrade: runUpgradeDownload(); break;
            case Page::RemovingOldVersion: runUninstallWork(); break;
            case Page::Uninstalling:
            case Page::UndoingCancelled:
            case Page::UndoingFailed:
                show(w.controls.releaseNotesLink, false);
                runUninstallWork();
                break;
            case Page::InstalledFinal:
            case Page::InstalledRestartFinal: return;  // shown where the installation ended
            default:
                showFinalPage();
                return;
        }
    }
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
    endAfterFailure();
}

void onActionButton() {
    const Page from = state().page;
    if (from == Page::InstallOffer || from == Page::UpgradeOffer) ensureInstallFolderOrEnd();
    // Only a plain installation starts the application: after a restart request it waits for the restart.
    if (from == Page::InstalledFinal) launchApplication();
    if (go(Event::Action) == Page::Ended) endProcess(exitCodeOf(from));
    runWork();
}

// During the work Cancel only asks it to stop: the sequence at its next checkpoint, a download
// at once. Elsewhere it ends the process.
void onCancelButton() {
    if (go(Event::Cancel) == Page::Ended) endProcess(ExitCode::Cancelled);
}

// The release notes are opened only as the bytes the signed version file names, a kept copy
// included, and by the user's desktop: a document reader started here would run as administrator.
void onReleaseNotesLink() {
    if (isWorkPage(state().page)) return;
    const std::optional<Sha256Digest>& signedNotes = context().notesSha256;
    if (!signedNotes) return;  // the link says that this release has none
    const ProductConfig& config = productConfig();
    ensureInstallFolderOrEnd();
    const std::wstring path = config.vendorFolder + config.releaseNotesFileName;
    if (!fileHasSha256(path, *signedNotes)) {
        const DownloadResult notes = downloadFile(L"", config.vendorFolder, config.releaseNotesFileName, 0, 0,
                                                  state().progress, &*signedNotes);
        if (notes.is(Special::HashMismatch)) {
            showMessageBox(text(L"error_notes_unverified"), text(L"IDS_TITLE_ERROR"), MB_OK);
            return;
        }
        if (!notes.ok()) {
            showDownloadFailure(notes);
            return;
        }
    }
    // Checked again right before it is opened.
    if (!fileHasSha256(path, *signedNotes)) {
        DeleteFileW(path.c_str());
        showMessageBox(text(L"error_notes_unverified"), text(L"IDS_TITLE_ERROR"), MB_OK);
        return;
    }
    const Failure opened = openAsDesktopUser(path);
    if (!opened.ok()) showErrorBox(opened);
}

std::wstring releaseNotesLinkText() {
    return text(context().notesSha256 ? L"IDS_VIEW_RELEASE_NOTES" : L"IDS_NO_RELEASE_NOTES");
}

void onLanguageChange() {
    WindowState& w = state();
    if (isWorkPage(w.page)) return;
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
    setText(c.releaseNotesLink, releaseNotesLinkText());
    switch (w.page) {
        case Page::InstallOffer:
        case Page::UpgradeOffer: setText(c.actionButton, text(L"IDS_INSTALL")); break;
        case Page::UninstallOffer: setText(c.actionButton, text(L"IDS_UNINSTALL")); break;
        default: break;
    }
    showOfferPage();
    setText(c.languageLabel, text(L"options_select_language"));
    setVersionLabels();
    nameControls();
}

void onCommand(WPARAM wParam, LPARAM lParam) {
    const WindowControls& c = state().controls;
    const HWND sender = reinterpret_cast<HWND>(lParam);
    if (!sender) return;
    if (sender == c.actionButton) {
        if (usable(sender)) onActionButton();
    } else if (sender == c.cancelButton) {
        if (usable(sender)) onCancelButton();
    } else if (sender == c.releaseNotesLink) {
        if (!usable(sender)) return;
        onReleaseNotesLink();
    } else if (sender == c.languageList && HIWORD(wParam) == CBN_SELCHANGE) {
        onLanguageChange();
    }
}

void onPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    paintLogoAndSeparator(dc, state().logoImage, state().dpi);
    EndPaint(window, &paint);
}

// Moved to a monitor of another scale, or the scale changed: fonts and places for the new DPI,
// in the rectangle the system suggests.
void onDpiChanged(HWND window, int dpi, const RECT* suggested) {
    WindowState& w = state();
    if (dpi <= 0) return;
    w.dpi = dpi;
    const HFONT oldSmall = w.smallFont;
    const HFONT oldLarge = w.largeFont;
    w.smallFont = createAppFontAt(dpi, 10);
    w.largeFont = createAppFontAt(dpi, 12);
    assignFontsAndCursors(w.controls, w.smallFont, w.largeFont);
    if (gdiTable().DeleteObject) {
        if (oldSmall) gdiTable().DeleteObject(oldSmall);
        if (oldLarge) gdiTable().DeleteObject(oldLarge);
    }
    layoutControls(w.controls, dpi);
    if (suggested) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    InvalidateRect(window, nullptr, TRUE);
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
        case WM_SYSCOMMAND:
            // Alt+F4 (no mouse position) does what Cancel does, and nothing where Cancel is not
            // offered; the close box goes on to WM_CLOSE.
            if ((wParam & 0xFFF0) == SC_CLOSE && lParam == 0) {
                if (usable(w.controls.cancelButton)) onCancelButton();
                return 0;
            }
            return DefDlgProcW(window, message, wParam, lParam);
        case WM_CTLCOLORDLG: return reinterpret_cast<LRESULT>(windowColours().background);
        case WM_DPICHANGED:
            onDpiChanged(window, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_SYSCOLORCHANGE:
        case WM_SETTINGCHANGE:
            // A high-contrast theme switched on or off while the window is open.
            refreshColours();
            RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
            break;
        case WM_DRAWITEM: {
            const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (!item || item->hwndItem != w.controls.releaseNotesLink) break;
            drawLink(*item);
            return TRUE;
        }
        case WM_CLOSE:
            if (closeAllowed(w.page)) {
                const Page closed = w.page;
                DestroyWindow(window);
                endProcess(exitCodeOf(closed));
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
        case passiveWorkMessage:
            runWork();
            // Closes by itself on the final page: nobody is there to press Finish.
            endProcess(exitCodeOf(w.page));
            return 0;
        default: break;
    }
    // The dialog manager's part: focus kept across activation, the default button, Tab's order.
    return DefDlgProcW(window, message, wParam, lParam);
}

}  // namespace

ATOM registerInstallerWindowClass(HINSTANCE instance) {
    state().className = loadedString(instance, WINDOW_CLASS_STRING_ID);
    const WNDCLASSEXW windowClass = windowClassOf(instance, windowProcedure, state().className.c_str());
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
    w.dpi = windowDpi(w.window);
    const SIZE size = windowSizeFor(w.dpi);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - size.cx) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - size.cy) / 2;
    SetWindowPos(w.window, nullptr, x, y, size.cx, size.cy, SWP_NOZORDER);
    w.logoImage = loadPngResource(productConfig().logoImageId);
    createControls(w.controls, w.window, instance, shownVersionLabel(), installerVersionLabel());
    layoutControls(w.controls, w.dpi);
    assignFontsAndCursors(w.controls, w.smallFont, w.largeFont);
    setText(w.controls.releaseNotesLink, releaseNotesLinkText());
    const SetupContext& s = context();
    w.page = chooseFirstPage(s.isInstalled, s.uninstallMode, s.installedVersion, s.offeredVersion);
    const bool passive = s.mode == SetupContext::Mode::Passive;
    if (passive) {
        const PassiveStart start = passiveStart(w.page, s.uninstallMode);
        if (!start.work) endProcess(start.code);
        // What the action button would do, without the offer page.
        if (w.page != Page::UninstallOffer) ensureInstallFolderOrEnd();
        go(Event::Action);
        showWorkPage();
    } else {
        showOfferPage();
    }
    nameControls();
    SendMessageW(w.window, DM_SETDEFID, actionButtonId, 0);
    setDialogWindow(w.window);
    ShowWindow(w.window, showCommand);
    focusPageDefault();
    // The focus is shown from the start, not only after the first key.
    SendMessageW(w.window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    UpdateWindow(w.window);
    if (passive) PostMessageW(w.window, passiveWorkMessage, 0, 0);
    return true;
}
