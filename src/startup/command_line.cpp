#include "startup/command_line.h"

#include <cwchar>

#include "common/text.h"

namespace {
std::wstring quotedUrlAfterSwitch(const std::wstring& line, std::size_t switchPos) {
    const auto open = line.find(L'"', switchPos);
    if (open == std::wstring::npos) return {};
    const auto close = line.find(L'"', open + 1);
    if (close == std::wstring::npos) return {};
    return line.substr(open + 1, close - open - 1);
}

// The value after a switch: quoted, or up to the next blank.
std::wstring valueAfter(const std::wstring& arguments, std::size_t at) {
    while (at < arguments.size() && isBlank(arguments[at])) ++at;
    if (at < arguments.size() && arguments[at] == L'"') {
        const auto close = arguments.find(L'"', at + 1);
        return close == std::wstring::npos ? std::wstring() : arguments.substr(at + 1, close - at - 1);
    }
    std::size_t end = at;
    while (end < arguments.size() && !isBlank(arguments[end])) ++end;
    return arguments.substr(at, end - at);
}
}  // namespace

StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl) {
    StartupOptions options;
    options.commandLine = lowerAscii(arguments);
    options.baseUrl = defaultUrl;

    const auto testPos = options.commandLine.find(L"-test");
    if (testPos != std::wstring::npos) {
        std::wstring url = quotedUrlAfterSwitch(options.commandLine, testPos);
        // Only an HTTPS server with a host: the value is handed through the elevation.
        const std::wstring scheme = L"https://";
        if (url.size() > scheme.size() && url.compare(0, scheme.size(), scheme) == 0) {
            if (url.back() != L'/' && url.back() != L'\\') url += L'/';
            options.baseUrl = url;
        }
    }
    options.uninstallMode = options.commandLine.find(L"-uninstall") != std::wstring::npos;
    options.silent = options.commandLine.find(L"-silent") != std::wstring::npos;
    // Found in the lower-cased line, read from the arguments as given: lowerAscii keeps positions.
    const auto logPos = options.commandLine.find(L"-log");
    if (logPos != std::wstring::npos) options.logPath = valueAfter(arguments, logPos + 4);
    return options;
}

std::wstring copyFolderPath(const std::wstring& tempFolder, unsigned long processId, unsigned long attempt,
                            unsigned long long tick) {
    wchar_t numbers[64];
    std::swprintf(numbers, 64, L"%lx-%lx-%llx", processId, attempt, tick);
    std::wstring folder = tempFolder;
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder + copyFolderPrefix + numbers;
}

bool isCopyFolderName(const std::wstring& name) {
    const std::wstring lower = lowerAscii(name);
    const std::wstring prefix = lowerAscii(copyFolderPrefix);
    if (lower.rfind(prefix, 0) != 0) return false;
    int numbers = 0;
    bool inNumber = false;
    for (std::size_t i = prefix.size(); i < lower.size(); ++i) {
        const wchar_t c = lower[i];
        if ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f')) {
            if (!inNumber) ++numbers;
            inNumber = true;
        } else if (c == L'-' && inNumber) {
            inNumber = false;
        } else {
            return false;
        }
    }
    return numbers == 3 && inNumber;
}
