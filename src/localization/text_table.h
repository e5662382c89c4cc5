// The multilingual text table and the lookup of texts in the current language.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Orders strings by UTF-16 code unit, compared as unsigned 16-bit numbers.
struct CodeUnitLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// Turns the bytes of a UTF-16LE text into code units, one wchar_t per unit (an odd last byte is dropped).
std::wstring decodeUtf16Le(const std::uint8_t* bytes, std::size_t size);

class TextTable {
public:
    using Entries = std::map<std::wstring, std::wstring, CodeUnitLess>;

    // Adds the sections of a whole resource text; always returns true.
    bool parse(std::wstring text);

    void setCulture(const std::wstring& culture);
    std::wstring getCulture() const;
    std::wstring cultureForName(const std::wstring& displayName) const;
    std::vector<std::wstring> languageNames() const;

    std::wstring text(const std::wstring& key) const;
    std::wstring text(const std::wstring& key, const std::vector<std::wstring>& arguments) const;

    // For inspection: the entries of one culture (empty when unknown), and the culture codes in order.
    const Entries& entriesOf(const std::wstring& culture) const;
    std::vector<std::wstring> cultures() const;

private:
    std::wstring culture_;
    std::map<std::wstring, Entries, CodeUnitLess> textsByCulture_;
    std::map<std::wstring, std::wstring, CodeUnitLess> namesByCulture_;
    std::map<std::wstring, std::wstring, CodeUnitLess> culturesByName_;
};

// The process-wide table.
TextTable& textTable();

// Shorthands for the lookup in the process-wide table.
std::wstring text(const std::wstring& key);
std::wstring text(const std::wstring& key, const std::vector<std::wstring>& arguments);

// Makes the stored culture current; on the first run (nothing stored) stores the culture
// whose display name is "English" first. The culture made current is the one read back after
// that, known to the table or not; English when nothing could be stored.
void chooseStartupLanguage(TextTable& table, const std::function<std::wstring()>& readCulture,
                           const std::function<void(const std::wstring&)>& writeCulture);
