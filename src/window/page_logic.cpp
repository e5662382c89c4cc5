#include "window/page_logic.h"

#include "common/product_config.h"
#include "localization/text_table.h"

PageState chooseFirstPage(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                          const Version& offered) {
    if (isInstalled == NOT_RECORDED) return PageState::InstallOffer;
    if (uninstallMode || installed.versionText == offered.versionText) return PageState::UninstallOffer;
    if (offered.compare(installed) < 0) return PageState::FinalPage;
    return PageState::UpgradeOffer;
}

std::wstring versionLabelText(const std::wstring& versionWord, const std::wstring& versionText) {
    return L"Flashdeck " + versionWord + L": " + versionText;
}

std::wstring installerVersionLabelText(const std::wstring& installWord, const std::wstring& versionWord,
                                       const std::wstring& installerVersion) {
    return installWord + L" " + versionWord + L": " + installerVersion;
}

std::wstring successText(const std::wstring& endText1, const std::wstring& versionText, const std::wstring& endText2,
                         const std::wstring& launchText) {
    return endText1 + L" " + versionText + L" " + endText2 + L"\n\n" + launchText;
}

const Version& shownVersion(std::int32_t isInstalled, bool uninstallMode, const Version& installed,
                            const Version& offered) {
    return uninstallMode && isInstalled != NOT_RECORDED && !installed.versionText.empty() ? installed : offered;
}

const wchar_t* pageViewName(PageView view) {
    switch (view) {
        case PageView::InstallOffer: return L"install-offer";
        case PageView::UninstallOffer: return L"uninstall-offer";
        case PageView::UpgradeOffer: return L"upgrade-offer";
        case PageView::NewerInstalled: return L"newer-installed";
        case PageView::Installing: return L"installing";
        case PageView::Uninstalling: return L"uninstalling";
        case PageView::InstalledFinal: return L"installed-final";
        case PageView::InstalledRestartFinal: return L"installed-restart-final";
        case PageView::FailedFinal: return L"failed-final";
        case PageView::UninstalledFinal: return L"uninstalled-final";
        case PageView::CancelledFinal: return L"cancelled-final";
    }
    return L"";
}

PageTexts pageTexts(PageView view, const std::wstring& brand, const Version& installed, const Version& offered) {
    switch (view) {
        case PageView::InstallOffer: return {text(L"IDS_TITLE_INSTALLATION", {brand}), text(L"IDS_INSTALL")};
        case PageView::UninstallOffer: return {text(L"IDS_TITLE_UNINSTALL", {brand}), text(L"IDS_UNINSTALL")};
        case PageView::UpgradeOffer:
            return {text(L"IDS_OLD_VERSION_INSTALLED", {installed.versionText, offered.versionText, brand}),
                    text(L"IDS_INSTALL")};
        case PageView::NewerInstalled:
            return {text(L"IDS_NEWER_VERSION_INSTALLED", {brand, installed.versionText, offered.versionText}),
                    text(L"IDS_OK")};
        case PageView::Installing: return {text(L"IDS_INSTALLING_TEXT", {brand}), L""};
        // The product's name, not a version: the text names what is being removed.
        case PageView::Uninstalling: return {text(L"IDS_UNINSTALLING_TEXT", {brand}), L""};
        case PageView::InstalledFinal:
            return {successText(text(L"IDS_INSTALL_END_TEXT1", {brand}), offered.versionText,
                                text(L"IDS_INSTALL_END_TEXT2"), text(L"IDS_LAUNCH_TOOLKIT")),
                    text(L"IDS_FINISH")};
        case PageView::InstalledRestartFinal:
            // The restart takes the launch sentence's place: the runtime is complete only after it,
            // so Finish does not start the application on this page.
            return {successText(text(L"IDS_INSTALL_END_TEXT1", {brand}), offered.versionText,
                                text(L"IDS_INSTALL_END_TEXT2"), text(L"install_restart")),
                    text(L"IDS_FINISH")};
        case PageView::FailedFinal: return {text(L"IDS_SUMMARY_FAILED"), text(L"IDS_FINISH")};
        case PageView::UninstalledFinal: return {text(L"IDS_UNINSTALL_END_TEXT", {brand}), text(L"IDS_FINISH")};
        case PageView::CancelledFinal: return {text(L"IDS_SUMMARY_CANCELLED"), text(L"IDS_FINISH")};
    }
    return {};
}
