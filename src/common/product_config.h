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
inline constexpr const wchar_t* sisterAppExeName = L"KelvraSSDFlashdeck.exe";

// Values of the IsInstalled record.
inline constexpr std::int32_t NOT_RECORDED = 5;  // no installation recorded (value absent or unreadable)
inline constexpr std::uint32_t installStarted = 1;
inline constexpr std::uint32_t installCompleted = 3;
