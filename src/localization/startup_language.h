// Choosing the language at start-up from the stored culture.
#pragma once
#include <functional>
#include <string>

#include "localization/text_table.h"

// Makes the stored culture current; on the first run (nothing stored) stores the culture
// whose display name is "English" first. The culture made current is always the one
// read back after that, known to the table or not.
void chooseStartupLanguage(TextTable& table, const std::function<std::wstring()>& readCulture,
                           const std::function<void(const std::wstring&)>& writeCulture);
