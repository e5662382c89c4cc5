#include "system/registry_store_win.h"

#include <windows.h>

#include <utility>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/log_win.h"
#include "system/file_system_win.h"
#include "system/registry_values.h"

namespace {
// Every key lives in the 32-bit view, also when the system is 64-bit.
constexpr REGSAM readAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM writeAccess = KEY_ALL_ACCESS | KEY_WOW64_32KEY;

constexpr const wchar_t* currentVersionName = L"CurrentVersion";
constexpr const wchar_t* currentCultureName = L"CurrentCulture";
constexpr const wchar_t* isInstalledName = L"IsInstalled";
constexpr const wchar_t* installPathName = L"InstallPath";
constexpr const wchar_t* displayIconName = L"DisplayIcon";
constexpr const wchar_t* installSourceName = L"InstallSource";
constexpr const wchar_t* publisherValueName = L"Publisher";
constexpr const wchar_t* uninstallStringName = L"UninstallString";
constexpr const wchar_t* displayVersionName = L"DisplayVersion";
constexpr const wchar_t* isCachePolicyName = L"IsCachePolicy";
constexpr const wchar_t* displayNameName = L"DisplayName";
constexpr const wchar_t* startMinimizedName = L"StartMinimized";
constexpr const wchar_t* startWithWindowsName = L"StartWithWindows";
constexpr const wchar_t* installLocationName = L"InstallLocation";
constexpr const wchar_t* installDateName = L"InstallDate";
constexpr const wchar_t* quietUninstallStringName = L"QuietUninstallString";
constexpr const wchar_t* urlInfoAboutName = L"URLInfoAbout";
constexpr const wchar_t* noModifyName = L"NoModify";
constexpr const wchar_t* noRepairName = L"NoRepair";
constexpr const wchar_t* estimatedSizeName = L"EstimatedSize";

std::wstring todayText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return installDateText(now.wYear, now.wMonth, now.wDay);
}

RegistryKey openKey(const std::wstring& path, REGSAM access) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key) != ERROR_SUCCESS) return RegistryKey();
    return RegistryKey(key);
}

RegistryKey openOrCreateKey(const std::wstring& path) {
    RegistryKey key = openKey(path, writeAccess);
    if (key) return key;
    HKEY created = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, writeAccess, nullptr,
                        &created, nullptr) != ERROR_SUCCESS) {
        return RegistryKey();
    }
    return RegistryKey(created);
}

std::wstring flagText(bool flag) { return flag ? L"1" : L"0"; }

void logWrite(const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& data, LONG result) {
    logLine(L"registry HKLM\\" + keyPath + L" " + valueName + L" = " + data +
            (result == ERROR_SUCCESS ? std::wstring() : L": error " + std::to_wstring(result)));
}

// Deletes one named subkey with everything below it; a key that is not there is no failure. An
// empty name would make RegDeleteTreeW empty the parent key itself, so it is refused.
Failure deleteSubtree(const std::wstring& parentPath, const std::wstring& subkeyName) {
    if (subkeyName.empty()) return {};
    HKEY key = nullptr;
    LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, writeAccess, &key);
    const RegistryKey parent(result == ERROR_SUCCESS ? key : nullptr);
    if (result == ERROR_SUCCESS) result = RegDeleteTreeW(parent.get(), subkeyName.c_str());
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return {};
    logLine(L"registry HKLM\\" + parentPath + L"\\" + subkeyName + L" could not be deleted: error " +
            std::to_wstring(result));
    return Failure::win32(static_cast<std::uint32_t>(result), parentPath + L"\\" + subkeyName);
}
}  // namespace

std::wstring RegistryStore::applicationKeyPath(const std::wstring& vendorName) const {
    return softwareRoot + L"\\" + vendorName + L"\\" + productWord;
}

std::wstring RegistryStore::uninstallKeyPath(const std::wstring& entryName) const {
    return softwareRoot + L"\\" + uninstallParent + L"\\" + entryName;
}

std::wstring RegistryStore::readString(const std::wstring& keyPath, const std::wstring& valueName) const {
    RegistryKey key = openKey(keyPath, readAccess);
    if (!key) return std::wstring();
    unsigned char buffer[registryStringBufferUnits * 2];
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    if (RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, buffer, &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    std::wstring text;
    decodeRegistryString(type, buffer, size, text);
    return text;
}

std::int32_t RegistryStore::readDword(const std::wstring& keyPath, const std::wstring& valueName) const {
    RegistryKey key = openKey(keyPath, readAccess);
    if (!key) return -1;
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    const LONG result =
        RegQueryValueExW(key.get(), valueName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return -1;
    return static_cast<std::int32_t>(value);
}

Failure RegistryStore::writeString(const std::wstring& keyPath, const std::wstring& valueName,
                                        const std::wstring& text) const {
    RegistryKey key = openOrCreateKey(keyPath);
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    const LONG result = key ? RegSetValueExW(key.get(), valueName.c_str(), 0, REG_SZ,
                                             reinterpret_cast<const BYTE*>(text.c_str()), bytes)
                            : ERROR_ACCESS_DENIED;
    logWrite(keyPath, valueName, L"\"" + text + L"\"", result);
    return Failure::win32(static_cast<std::uint32_t>(result), keyPath);
}

Failure RegistryStore::writeDword(const std::wstring& keyPath, const std::wstring& valueName,
                                       std::uint32_t value) const {
    RegistryKey key = openOrCreateKey(keyPath);
    const DWORD data = value;
    const LONG result = key ? RegSetValueExW(key.get(), valueName.c_str(), 0, REG_DWORD,
                                             reinterpret_cast<const BYTE*>(&data), sizeof(data))
                            : ERROR_ACCESS_DENIED;
    logWrite(keyPath, valueName, std::to_wstring(value), result);
    return Failure::win32(static_cast<std::uint32_t>(result), keyPath);
}

std::wstring RegistryStore::readCurrentCulture() const {
    const std::wstring own = readString(applicationKeyPath(productConfig().brandName), currentCultureName);
    if (!own.empty()) return own;
    return readString(applicationKeyPath(sisterVendorName), currentCultureName);
}

void RegistryStore::writeCurrentCulture(const std::wstring& culture) const {
    // The language is a preference: a failure to remember it changes nothing else.
    writeString(applicationKeyPath(productConfig().brandName), currentCultureName, culture);
}

Version RegistryStore::readInstalledVersion() const {
    Version version;
    version.assign(readString(uninstallKeyPath(productConfig().productDisplayName), displayVersionName));
    if (!version.isEmpty()) return version;
    Version sister;
    sister.assign(readString(uninstallKeyPath(sisterUninstallEntryName), displayVersionName));
    return sister;
}

std::int32_t RegistryStore::readIsInstalled() const {
    const std::int32_t value = readDword(applicationKeyPath(productConfig().brandName), isInstalledName);
    return value == -1 ? NOT_RECORDED : value;
}

Failure RegistryStore::writeIsInstalled(std::uint32_t value) const {
    return writeDword(applicationKeyPath(productConfig().brandName), isInstalledName, value);
}

std::wstring RegistryStore::readOwnInstallPath() const {
    return readString(applicationKeyPath(productConfig().brandName), installPathName);
}

std::wstring RegistryStore::readInstallPath() const {
    const std::wstring own = readOwnInstallPath();
    if (!own.empty()) return own;
    return readString(applicationKeyPath(sisterVendorName), installPathName);
}

Failure RegistryStore::writeInstallPath(const std::wstring& folder) const {
    return writeString(applicationKeyPath(productConfig().brandName), installPathName, folder);
}

Failure RegistryStore::writeUninstallEntry(const Version& version) const {
    const ProductConfig config = productConfig();
    const std::wstring entry = uninstallKeyPath(config.productDisplayName);
    const std::wstring application = applicationKeyPath(config.brandName);
    const std::pair<const std::wstring*, std::pair<const wchar_t*, std::wstring>> values[] = {
        {&entry, {displayVersionName, version.versionText}},
        {&application, {currentVersionName, version.versionText}},
        {&entry, {displayNameName, config.productDisplayName}},
        {&entry, {displayIconName, config.installFolder + config.appExeName}},
        {&entry, {installSourceName, config.installFolder + config.selfFileName}},
        {&entry, {publisherValueName, publisherName}},
        {&entry, {uninstallStringName, quotedUninstallString(config.installFolder, config.selfFileName)}},
        {&entry, {quietUninstallStringName, quietUninstallString(config.installFolder, config.selfFileName)}},
        {&entry, {installLocationName, config.installFolder}},
        {&entry, {installDateName, todayText()}},
        {&entry, {urlInfoAboutName, productPageUrl}},
        {&application, {isCachePolicyName, L"0"}},
        {&application, {startMinimizedName, flagText(false)}},
        {&application, {startWithWindowsName, flagText(false)}},
    };
    for (const auto& [key, value] : values) {
        Failure failed = writeString(*key, value.first, value.second);
        if (!failed.ok()) return failed;
    }
    // The list of installed programs offers no Modify or Repair: the installer has neither.
    for (const wchar_t* name : {noModifyName, noRepairName}) {
        if (Failure failed = writeDword(entry, name, 1); !failed.ok()) return failed;
    }
    return {};
}

Failure RegistryStore::writeEstimatedSize() const {
    const ProductConfig config = productConfig();
    return writeDword(uninstallKeyPath(config.productDisplayName), estimatedSizeName,
                      estimatedSizeKb(folderBytes(config.installFolder)));
}

Failure RegistryStore::deleteProductKeys() const {
    const ProductConfig config = productConfig();
    logLine(L"registry: the product's keys are deleted");
    // The Uninstall entry first: should it stay, the installation stays whole for a second run.
    if (Failure failed = deleteSubtree(softwareRoot + L"\\" + uninstallParent, config.productDisplayName); !failed.ok()) {
        return failed;
    }
    if (config.brandName.empty()) return {};
    return deleteSubtree(softwareRoot + L"\\" + config.brandName, productWord);
}
