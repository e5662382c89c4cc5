// The names, paths and numbers that tie the installer to one product.
#pragma once
#include <cstdint>
#include <string>

struct ProductConfig {
    std::wstring installerTitle;
    std::wstring downloadRoot;
    std::wstring vendorFolder;
    std::wstring installFolder;
    std::wstring selfPath;
    std::wstring selfFileName;
    std::wstring releaseNotesFileName;
    std::wstring brandName;
    std::wstring productDisplayName;
    std::wstring shortcutName;
    std::wstring appExeName;
    std::wstring appArchiveName;
    int logoImageId = 0;
    int logoWidth = 0;
    int logoHeight = 0;
    int logoLeft = 0;
    int logoTop = 0;
};

// Builds the configuration from what the system supplies: the base URL (ending in
// "/" or "\"), the 32-bit Program Files folder (no trailing backslash) and the
// running executable's full path.
ProductConfig makeProductConfig(const std::wstring& baseUrl, const std::wstring& programFilesX86,
                                const std::wstring& selfPath);

// The process-wide configuration. Empty until configureProduct has run, constant after.
const ProductConfig& productConfig();
void setProductConfig(const ProductConfig& config);

inline constexpr const wchar_t* installerVersion = L"3.0.3.0";

// The product's fixed names that are not computed from the system: constants, since start-up
// needs some of them before configureProduct has run.
inline constexpr const wchar_t* defaultBaseUrl = L"https://downloads.lumidex.com/";
inline constexpr const wchar_t* publisherName = L"Varnholt Corporation";
// The vendor's product page: the Uninstall entry's link for the list of installed programs.
inline constexpr const wchar_t* productPageUrl = L"https://www.lumidex.com/flashdeck";
// The product word: the application key under the vendor's key, and the install folder's name.
inline constexpr const wchar_t* productWord = L"SSD Flashdeck";
// The name in the version label ("Flashdeck Version: 3.0.3.0").
inline constexpr const wchar_t* versionLabelName = L"Flashdeck";
// The other product line, whose installation this one recognises and replaces.
inline constexpr const wchar_t* sisterVendorName = L"Kelvra";
inline constexpr const wchar_t* sisterUninstallEntryName = L"Kelvra SSD Flashdeck";
inline constexpr const wchar_t* sisterAppExeName = L"KelvraSSDFlashdeck.exe";
// Inside the vendor folder: where an upgrade keeps the verified new archive.
inline constexpr const wchar_t* stagingFolderName = L"Flashdeck upgrade\\";
// The relaunch's copy folders in the temporary folder: this prefix and three hexadecimal numbers.
inline constexpr const wchar_t* copyFolderPrefix = L"LFD";
// In the temporary folder: the log of an unattended run without -log.
inline constexpr const wchar_t* defaultLogFileName = L"LumidexFlashdeckSetup.log";
// Below the download root: the signed version file (its signature has ".sig" appended).
inline constexpr const wchar_t* versionFileFolder = L"config/";
inline constexpr const wchar_t* versionFileName = L"lista_updater.xml";

// Values of the IsInstalled record.
inline constexpr std::int32_t NOT_RECORDED = 5;  // no installation recorded (value absent or unreadable)
inline constexpr std::uint32_t installStarted = 1;
inline constexpr std::uint32_t installCompleted = 3;
