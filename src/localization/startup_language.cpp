#include "localization/startup_language.h"

void chooseStartupLanguage(TextTable& table, const std::function<std::wstring()>& readCulture,
                           const std::function<void(const std::wstring&)>& writeCulture) {
    if (readCulture().empty()) writeCulture(table.cultureForName(L"English"));
    table.setCulture(readCulture());
}
