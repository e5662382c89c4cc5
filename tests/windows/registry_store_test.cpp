#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "common/product_config.h"
#include "system/handles_win.h"
#include "system/registry_store_win.h"

namespace {
const std::wstring kOwnKey = L"SOFTWARE\\Lumidex\\SSD Flashdeck";
const std::wstring kSisterKey = L"SOFTWARE\\Kelvra\\SSD Flashdeck";
const std::wstring kUninstallParent = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const std::wstring kOwnEntry = kUninstallParent + L"\\Lumidex SSD Flashdeck";
const std::wstring kSisterEntry = kUninstallParent + L"\\Kelvra SSD Flashdeck";
const std::wstring kBystanderEntry = kUninstallParent + L"\\Flashdeck Test Bystander";

RegistryKey openView(const std::wstring& path, REGSAM view) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return {};
    return RegistryKey(key);
}

bool keyExists(const std::wstring& path, REGSAM view = KEY_WOW64_32KEY) { return openView(path, view).valid(); }

void deleteKey32(const std::wstring& path) {
    const size_t slash = path.rfind(L'\\');
    HKEY parent = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.substr(0, slash).c_str(), 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                      &parent) != ERROR_SUCCESS) {
        return;
    }
    RegistryKey owner(parent);
    RegDeleteTreeW(parent, path.substr(slash + 1).c_str());
}

// Stores raw data of any type, so the readers can be given what the store never writes.
void setRaw(const std::wstring& path, const std::wstring& name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_32KEY,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegistryKey owner(key);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
}

void setText(const std::wstring& path, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ) {
    setRaw(path, name, type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void setNumber(const std::wstring& path, const std::wstring& name, DWORD value) {
    setRaw(path, name, REG_DWORD, &value, sizeof(value));
}

DWORD valueCount(const std::wstring& path) {
    RegistryKey key = openView(path, KEY_WOW64_32KEY);
    DWORD count = 0;
    if (key) RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                              nullptr, nullptr, nullptr);
    return count;
}

class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = productConfig();
        setProductConfig(makeProductConfig(L"https://x/", L"C:\\Program Files (x86)", L"C:\\temp\\Setup Copy.exe"));
        ownVendorExisted_ = keyExists(L"SOFTWARE\\Lumidex");
        sisterVendorExisted_ = keyExists(L"SOFTWARE\\Kelvra");
        clear();
    }
    void TearDown() override {
        clear();
        if (!ownVendorExisted_) deleteKey32(L"SOFTWARE\\Lumidex");
        if (!sisterVendorExisted_) deleteKey32(L"SOFTWARE\\Kelvra");
        setProductConfig(saved_);
    }
    static void clear() {
        for (const std::wstring& key : {kOwnKey, kSisterKey, kOwnEntry, kSisterEntry, kBystanderEntry}) deleteKey32(key);
    }

    RegistryStore store;

private:
    ProductConfig saved_;
    bool ownVendorExisted_ = false;
    bool sisterVendorExisted_ = false;
};

TEST_F(RegistryStoreTest, NothingRecordedGivesDefaults) {
    EXPECT_EQ(store.readCurrentCulture(), L"");
    EXPECT_TRUE(store.readInstalledVersion().isEmpty());
    EXPECT_EQ(store.readIsInstalled(), NOT_RECORDED);
    EXPECT_EQ(store.readInstallPath(), L"");
    EXPECT_EQ(store.readDword(kOwnKey, L"IsInstalled"), -1);
}

TEST_F(RegistryStoreTest, WritesLandInThe32BitViewOnly) {
    store.writeIsInstalled(1);
    store.writeInstallPath(L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\");
    store.writeCurrentCulture(L"de-DE");
    Version version;
    version.assign(L"1.2.3.4");
    store.writeUninstallEntry(version);

    for (const std::wstring& key : {kOwnKey, kOwnEntry}) {
        EXPECT_TRUE(keyExists(key, KEY_WOW64_32KEY)) << key;
        EXPECT_FALSE(keyExists(key, KEY_WOW64_64KEY)) << key;
    }
    EXPECT_TRUE(keyExists(L"SOFTWARE\\Wow6432Node\\Lumidex\\SSD Flashdeck", KEY_WOW64_64KEY));
    EXPECT_EQ(store.readIsInstalled(), 1);
    EXPECT_EQ(store.readCurrentCulture(), L"de-DE");
    EXPECT_EQ(store.readInstallPath(), L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\");
    EXPECT_EQ(store.readInstalledVersion().versionText, L"1.2.3.4");
}

TEST_F(RegistryStoreTest, UninstallEntryHoldsItsValuesAndAQuotedCommand) {
    Version version;
    version.assign(L"2.0.1.7");
    store.writeUninstallEntry(version);
    const std::wstring folder = L"C:\\Program Files (x86)\\Lumidex\\SSD Flashdeck\\";

    EXPECT_EQ(valueCount(kOwnEntry), 12u);
    EXPECT_EQ(store.readString(kOwnEntry, L"DisplayVersion"), L"2.0.1.7");
    EXPECT_EQ(store.readString(kOwnEntry, L"DisplayName"), L"Lumidex SSD Flashdeck");
    EXPECT_EQ(store.readString(kOwnEntry, L"DisplayIcon"), folder + L"LumidexSSDFlashdeck.exe");
    EXPECT_EQ(store.readString(kOwnEntry, L"InstallSource"), folder + L"Setup Copy.exe");
    EXPECT_EQ(store.readString(kOwnEntry, L"Publisher"), L"Varnholt Corporation");
    EXPECT_EQ(store.readString(kOwnEntry, L"UninstallString"), L"\"" + folder + L"Setup Copy.exe\" -uninstall");
    EXPECT_EQ(store.readString(kOwnEntry, L"QuietUninstallString"),
              L"\"" + folder + L"Setup Copy.exe\" -uninstall -silent");
    EXPECT_EQ(store.readString(kOwnEntry, L"InstallLocation"), folder);
    EXPECT_EQ(store.readString(kOwnEntry, L"URLInfoAbout"), L"https://www.lumidex.com/flashdeck");
    SYSTEMTIME now{};
    GetLocalTime(&now);
    wchar_t today[16];
    swprintf(today, 16, L"%04u%02u%02u", now.wYear, now.wMonth, now.wDay);
    EXPECT_EQ(store.readString(kOwnEntry, L"InstallDate"), today);
    // DWORDs, as the list of installed programs reads them: a string "1" would not hide Modify.
    EXPECT_EQ(store.readDword(kOwnEntry, L"NoModify"), 1);
    EXPECT_EQ(store.readDword(kOwnEntry, L"NoRepair"), 1);

    EXPECT_EQ(store.readString(kOwnKey, L"CurrentVersion"), L"2.0.1.7");
    for (const wchar_t* flag : {L"IsCachePolicy", L"StartMinimized", L"StartWithWindows"}) {
        EXPECT_EQ(store.readString(kOwnKey, flag), L"0") << flag;
    }
}

TEST_F(RegistryStoreTest, StringReadsApplyTypeAndSizeRules) {
    // The unit after the stored data is no NUL either: the registry would otherwise count a NUL
    // that directly follows the data as forgotten and store it too.
    const std::wstring unterminated = L"en-US!";
    setRaw(kOwnKey, L"NoNul", REG_SZ, unterminated.data(), static_cast<DWORD>((unterminated.size() - 1) * 2));
    EXPECT_EQ(store.readString(kOwnKey, L"NoNul"), L"");

    setText(kOwnKey, L"Expand", L"%SystemRoot%\\x", REG_EXPAND_SZ);
    EXPECT_EQ(store.readString(kOwnKey, L"Expand"), L"%SystemRoot%\\x");

    setRaw(kOwnKey, L"Empty", REG_SZ, nullptr, 0);
    EXPECT_EQ(store.readString(kOwnKey, L"Empty"), L"");

    setNumber(kOwnKey, L"Number", 3);
    EXPECT_EQ(store.readString(kOwnKey, L"Number"), L"");

    const std::wstring longest(511, L'7');
    setText(kOwnKey, L"Longest", longest);
    EXPECT_EQ(store.readString(kOwnKey, L"Longest"), longest);

    setText(kOwnKey, L"TooLong", std::wstring(512, L'7'));
    EXPECT_EQ(store.readString(kOwnKey, L"TooLong"), L"");
}

TEST_F(RegistryStoreTest, OverlongDisplayVersionConsultsTheSister) {
    setText(kOwnEntry, L"DisplayVersion", std::wstring(512, L'1'));
    setText(kSisterEntry, L"DisplayVersion", L"4.5.6.7");
    EXPECT_EQ(store.readInstalledVersion().versionText, L"4.5.6.7");

    setText(kOwnEntry, L"DisplayVersion", L"1.0.0." + std::wstring(505, L'1'));
    EXPECT_EQ(store.readInstalledVersion().versionText.size(), 511u);
}

struct IsInstalledCase {
    const char* what;
    DWORD type;
    std::vector<BYTE> data;
    std::int32_t expected;
};

TEST_F(RegistryStoreTest, IsInstalledReadsOnlyAFourByteDword) {
    const std::wstring three = L"3";
    const std::vector<IsInstalledCase> cases = {
        {"zero", REG_DWORD, {0, 0, 0, 0}, 0},
        {"three", REG_DWORD, {3, 0, 0, 0}, 3},
        {"all bits set", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, NOT_RECORDED},
        {"negative two", REG_DWORD, {0xFE, 0xFF, 0xFF, 0xFF}, -2},
        {"text \"3\"", REG_SZ, {'3', 0, 0, 0}, NOT_RECORDED},
        {"eight-byte number", REG_QWORD, {3, 0, 0, 0, 0, 0, 0, 0}, NOT_RECORDED},
        {"binary", REG_BINARY, {3, 0, 0, 0}, NOT_RECORDED},
        {"big-endian dword", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 3}, NOT_RECORDED},
    };
    for (const IsInstalledCase& c : cases) {
        setRaw(kOwnKey, L"IsInstalled", c.type, c.data.data(), static_cast<DWORD>(c.data.size()));
        EXPECT_EQ(store.readIsInstalled(), c.expected) << c.what;
    }
}

TEST_F(RegistryStoreTest, IsInstalledHasNoSisterFallback) {
    setNumber(kSisterKey, L"IsInstalled", 3);
    EXPECT_EQ(store.readIsInstalled(), NOT_RECORDED);
}

TEST_F(RegistryStoreTest, ReadsFallBackToTheSisterKeys) {
    setText(kSisterKey, L"CurrentCulture", L"ja-JP");
    setText(kSisterKey, L"InstallPath", L"C:\\Program Files (x86)\\Kelvra\\SSD Flashdeck\\");
    setText(kSisterEntry, L"DisplayVersion", L"9.8.7.6");

    EXPECT_EQ(store.readCurrentCulture(), L"ja-JP");
    EXPECT_EQ(store.readInstallPath(), L"C:\\Program Files (x86)\\Kelvra\\SSD Flashdeck\\");
    EXPECT_EQ(store.readOwnInstallPath(), L"");
    EXPECT_EQ(store.readInstalledVersion().versionText, L"9.8.7.6");

    // An empty own value counts as missing; a present one wins.
    setText(kOwnKey, L"CurrentCulture", L"");
    EXPECT_EQ(store.readCurrentCulture(), L"ja-JP");
    store.writeCurrentCulture(L"fr-FR");
    store.writeInstallPath(L"D:\\Own\\");
    setText(kOwnEntry, L"DisplayVersion", L"1.1.1.1");
    EXPECT_EQ(store.readCurrentCulture(), L"fr-FR");
    EXPECT_EQ(store.readInstallPath(), L"D:\\Own\\");
    EXPECT_EQ(store.readOwnInstallPath(), L"D:\\Own\\");
    EXPECT_EQ(store.readInstalledVersion().versionText, L"1.1.1.1");
}

TEST_F(RegistryStoreTest, DeleteProductKeysLeavesVendorSisterAndOthers) {
    Version version;
    version.assign(L"1.2.3.4");
    store.writeUninstallEntry(version);
    store.writeIsInstalled(3);
    setText(L"SOFTWARE\\Lumidex", L"VendorValue", L"stays");
    setText(kSisterKey, L"InstallPath", L"C:\\Kelvra\\");
    setText(kSisterEntry, L"DisplayVersion", L"9.8.7.6");
    setText(kBystanderEntry, L"DisplayName", L"someone else");

    EXPECT_TRUE(store.deleteProductKeys().ok());
    EXPECT_TRUE(store.deleteProductKeys().ok());  // nothing left to delete is no failure

    EXPECT_FALSE(keyExists(kOwnKey));
    EXPECT_FALSE(keyExists(kOwnEntry));
    EXPECT_EQ(store.readString(L"SOFTWARE\\Lumidex", L"VendorValue"), L"stays");
    EXPECT_EQ(store.readString(kSisterKey, L"InstallPath"), L"C:\\Kelvra\\");
    EXPECT_EQ(store.readString(kSisterEntry, L"DisplayVersion"), L"9.8.7.6");
    EXPECT_EQ(store.readString(kBystanderEntry, L"DisplayName"), L"someone else");
    EXPECT_EQ(store.readIsInstalled(), NOT_RECORDED);
}

TEST_F(RegistryStoreTest, DeleteWithoutConfigurationNeverEmptiesTheUninstallList) {
    setText(kBystanderEntry, L"DisplayName", L"someone else");
    setProductConfig(ProductConfig());
    store.deleteProductKeys();
    EXPECT_TRUE(keyExists(kBystanderEntry));
}

}  // namespace
