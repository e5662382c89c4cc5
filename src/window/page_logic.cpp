#include "window/page_logic.h"

#include "common/product_config.h"

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
