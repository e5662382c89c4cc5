// The only access to the registry: the product's and the sister line's keys in the 32-bit view.
#pragma once
#include <cstdint>
#include <string>

#include "common/product_config.h"
#include "common/version.h"

class RegistryStore {
public:
    std::wstring applicationKeyPath(const std::wstring& vendorName) const;
    std::wstring uninstallKeyPath(const std::wstring& entryName) const;

    std::wstring readString(const std::wstring& keyPath, const std::wstring& valueName) const;
    std::int32_t readDword(const std::wstring& keyPath, const std::wstring& valueName) const;
    // Writes return 0 or the registry's error code.
    std::int32_t writeString(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text) const;
    std::int32_t writeDword(const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t value) const;

    std::wstring readCurrentCulture() const;
    void writeCurrentCulture(const std::wstring& culture) const;
    Version readInstalledVersion() const;
    std::int32_t readIsInstalled() const;
    std::int32_t writeIsInstalled(std::uint32_t value) const;
    // This product's own InstallPath only (no sister fallback): what the uninstaller may remove.
    std::wstring readOwnInstallPath() const;
    std::wstring readInstallPath() const;
    std::int32_t writeInstallPath(const std::wstring& folder) const;
    // 0, or the code of the first value that could not be written.
    std::int32_t writeUninstallEntry(const Version& version) const;
    void deleteProductKeys() const;

    const std::wstring sisterVendorName = L"Kelvra";
    const std::wstring productWord = L"SSD Flashdeck";
    const std::wstring softwareRoot = L"SOFTWARE";
    const std::wstring uninstallParent = L"Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const std::wstring sisterUninstallEntryName = L"Kelvra SSD Flashdeck";
};
