#include "common/version.h"

#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "common/text.h"

namespace {
// Leading blanks, an optional sign, then decimal digits up to the first non-digit.
// No digits gives 0; a value beyond 32 bits stops at the nearest limit instead of
// wrapping, so any text yields a number.
std::int32_t readNumber(std::wstring_view text) {
    std::size_t at = 0;
    while (at < text.size() && isBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    const std::int64_t limit = negative ? -kMin : kMax;
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        if (value < limit) value = value * 10 + (text[at] - L'0');
        if (value > limit) value = limit;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}
}  // namespace

void Version::assign(const std::wstring& text) {
    versionText = text;
    if (text.empty()) return;

    // Every number is set anew: a piece that is missing (fewer than three dots) is 0
    // rather than a value left over from an earlier text.
    const std::vector<std::size_t> dots = findAll(text, L".");
    const std::wstring_view all(text);
    auto piece = [&](std::size_t index) -> std::int32_t {
        if (index == 0) return readNumber(all);
        if (index > dots.size()) return 0;
        return readNumber(all.substr(dots[index - 1] + 1));
    };
    major = piece(0);
    minor = piece(1);
    build = piece(2);
    revision = piece(3);
}

int Version::compare(const Version& other) const {
    if (versionText == other.versionText) return 0;
    if (major != other.major) return major < other.major ? -1 : 1;
    if (minor != other.minor) return minor < other.minor ? -1 : 1;
    if (build != other.build) return build < other.build ? -1 : 1;
    return revision < other.revision ? -1 : 1;
}
