#include "startup/command_line.h"

std::wstring lowerAscii(std::wstring text) {
    for (auto& unit : text) {
        if (unit >= L'A' && unit <= L'Z') unit = static_cast<wchar_t>(unit - L'A' + L'a');
    }
    return text;
}

namespace {
std::wstring quotedUrlAfterSwitch(const std::wstring& line, std::size_t switchPos) {
    const auto open = line.find(L'"', switchPos);
    if (open == std::wstring::npos) return {};
    const auto close = line.find(L'"', open + 1);
    if (close == std::wstring::npos) return {};
    return line.substr(open + 1, close - open - 1);
}
}  // namespace

StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl) {
    StartupOptions options;
    options.commandLine = lowerAscii(arguments);
    options.baseUrl = defaultUrl;

    const auto testPos = options.commandLine.find(L"-test");
    if (testPos != std::wstring::npos) {
        std::wstring url = quotedUrlAfterSwitch(options.commandLine, testPos);
        if (!url.empty()) {
            if (url.back() != L'/' && url.back() != L'\\') url += L'/';
            options.baseUrl = url;
        }
    }
    options.uninstallMode = options.commandLine.find(L"-uninstall") != std::wstring::npos;
    return options;
}
