// The only access to the registry: the product's and the sister line's keys in the 32-bit view.
#pragma once
#include <cstdint>
#include <string>

#include "common/failure.h"
#include "common/product_config.h"
#include "common/version.h"

class RegistryStore {
public:
    std::wstring applicationKeyPath(const std::wstring& vendorName) const;
    std::wstring uninstallKeyPath(const std::wstring& entryName) const;

    std::wstring readString(const std::wstring& keyPath, const std::wstring& valueName) const;
    std::int32_t readDword(const std::wstring& keyPath, const std::wstring& valueName) const;
    // Writes return ok or the registry's error with the key's path.
    Failure writeString(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text) const;
    Failure writeDword(const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t value) const;

    std::wstring readCurrentCulture() const;
    void writeCurrentCulture(const std::wstring& culture) const;
    Version readInstalledVersion() const;
    std::int32_t readIsInstalled() const;
    Failure writeIsInstalled(std::uint32_t value) const;
    // This product's own InstallPath only (no sister fallback): what the uninstaller may remove.
    std::wstring readOwnInstallPath() const;
    std::wstring readInstallPath() const;
    Failure writeInstallPath(const std::wstring& folder) const;
    // Ok, or the failure of the first value that could not be written.
    Failure writeUninstallEntry(const Version& version) const;
    // The entry's EstimatedSize: the install folder as it is now, in KB.
    Failure writeEstimatedSize() const;
    // Ok when both keys are gone (also when they were not there), else the failure and the key.
    Failure deleteProductKeys() const;

    const std::wstring softwareRoot = L"SOFTWARE";
    const std::wstring uninstallParent = L"Microsoft\\Windows\\CurrentVersion\\Uninstall";
};
