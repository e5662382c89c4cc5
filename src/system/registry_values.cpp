#include "system/registry_values.h"

#include <cwchar>

bool decodeRegistryString(unsigned long type, const unsigned char* data, unsigned long size, std::wstring& out) {
    out.clear();
    if (type != registryTypeString && type != registryTypeExpandString) return false;
    if (size == 0) return true;
    if (data == nullptr || size % 2 != 0 || size > registryStringBufferUnits * 2) return false;
    const unsigned long units = size / 2;
    auto unitAt = [data](unsigned long i) {
        return static_cast<wchar_t>(data[2 * i] | (static_cast<unsigned>(data[2 * i + 1]) << 8));
    };
    if (unitAt(units - 1) != L'\0') return false;
    for (unsigned long i = 0; i + 1 < units; ++i) {
        const wchar_t unit = unitAt(i);
        if (unit == L'\0') break;
        out.push_back(unit);
    }
    return true;
}

std::wstring quotedUninstallString(const std::wstring& installFolder, const std::wstring& selfFileName) {
    return L"\"" + installFolder + selfFileName + L"\" -uninstall";
}

std::wstring quietUninstallString(const std::wstring& installFolder, const std::wstring& selfFileName) {
    return quotedUninstallString(installFolder, selfFileName) + L" -silent";
}

std::wstring installDateText(unsigned year, unsigned month, unsigned day) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%04u%02u%02u", year % 10000, month % 100, day % 100);
    return text;
}

std::uint32_t estimatedSizeKb(std::uint64_t bytes) {
    const std::uint64_t kb = bytes / 1024 + (bytes % 1024 != 0 ? 1 : 0);
    return kb > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(kb);
}
