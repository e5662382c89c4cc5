// A four-part version number together with the text it was parsed from.
#pragma once
#include <cstdint>
#include <string>

class Version {
public:
    // Stores the text; a non-empty text also sets the four numbers. Pieces that are
    // not numbers, or numbers beyond 32 bits, never fail.
    void assign(const std::wstring& text);
    // -1, 0 or 1 for this version against the other.
    int compare(const Version& other) const;
    bool isEmpty() const { return versionText.empty(); }

    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t build = 0;
    std::int32_t revision = 0;
    std::wstring versionText;
};
