// Reading the installer's command line: the two switches and the download server.
#pragma once
#include <string>

struct StartupOptions {
    std::wstring commandLine;  // lower-cased argument string
    std::wstring baseUrl;      // ends in "/" or "\"
    bool uninstallMode = false;
};

inline constexpr const wchar_t* defaultBaseUrl = L"https://downloads.lumidex.com/";

// Maps only the ASCII letters A to Z to lower case; every other code unit stays.
std::wstring lowerAscii(std::wstring text);

// Lower-cases the arguments, then finds "-test" with its quoted URL and "-uninstall".
// A "-test" without a quoted value, or with an empty one, keeps the default URL.
StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl = defaultBaseUrl);
