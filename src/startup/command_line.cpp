#include "startup/command_line.h"

#include <cwchar>
#include <utility>

#include "common/text.h"

std::vector<std::wstring> splitArguments(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    std::size_t at = 0;
    const auto separator = [&line](std::size_t i) { return line[i] == L' ' || line[i] == L'\t'; };
    while (at < line.size() && separator(at)) ++at;
    while (at < line.size()) {
        std::wstring argument;
        bool quoted = false;
        std::size_t backslashes = 0;
        while (at < line.size() && (quoted || !separator(at))) {
            const wchar_t c = line[at];
            if (c == L'\\') {
                argument += c;
                ++backslashes;
                ++at;
                continue;
            }
            if (c != L'"') {
                argument += c;
                backslashes = 0;
                ++at;
                continue;
            }
            // Half the backslashes stay; an odd one escapes the quote.
            argument.resize(argument.size() - backslashes / 2);
            int quotes = 0;  // counts the quote that opens a quoted part, as Windows does
            if (backslashes % 2 == 0) {
                quotes = quoted ? 1 : 0;
                ++quotes;
            } else {
                argument.back() = L'"';
                quotes = quoted ? 1 : 0;
            }
            backslashes = 0;
            ++at;
            // A run of quotes: every third one is a literal quote.
            while (at < line.size() && line[at] == L'"') {
                if (++quotes == 3) {
                    argument += L'"';
                    quotes = 0;
                }
                ++at;
            }
            quoted = quotes == 1;
        }
        arguments.push_back(std::move(argument));
        while (at < line.size() && separator(at)) ++at;
    }
    return arguments;
}

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\r\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped; elsewhere they are literal.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    // Doubled before the closing quote, so that it still closes.
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl) {
    StartupOptions options;
    options.baseUrl = defaultUrl;
    const std::vector<std::wstring> parts = splitArguments(arguments);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::wstring name = lowerAscii(parts[i]);
        if (name == L"-uninstall") {
            options.uninstallMode = true;
        } else if (name == L"-silent") {
            options.silent = true;
        } else if (name == L"-passive") {
            options.passive = true;
        } else if (name == L"-log" || name == L"-test" || name == L"-logchannel") {
            // The value is the next argument, even when it looks like a switch.
            if (i + 1 >= parts.size()) break;
            const std::wstring& value = parts[++i];
            if (name == L"-log") {
                options.logPath = value;
                continue;
            }
            if (name == L"-logchannel") {
                options.logChannel = value;
                continue;
            }
            // Only an HTTPS server with a host: the value is handed through the elevation.
            std::wstring url = lowerAscii(value);
            const std::wstring scheme = L"https://";
            if (url.size() > scheme.size() && url.compare(0, scheme.size(), scheme) == 0) {
                if (url.back() != L'/' && url.back() != L'\\') url += L'/';
                options.baseUrl = url;
                options.testUrlGiven = true;
            }
        }
    }
    return options;
}

std::wstring elevationArguments(const StartupOptions& options) {
    std::vector<std::wstring> parts;
    if (options.testUrlGiven) parts.insert(parts.end(), {L"-test", options.baseUrl});
    if (options.uninstallMode) parts.push_back(L"-uninstall");
    if (options.silent) parts.push_back(L"-silent");
    if (options.passive) parts.push_back(L"-passive");
    if (!options.logPath.empty()) parts.insert(parts.end(), {L"-log", options.logPath});
    if (!options.logChannel.empty()) parts.insert(parts.end(), {L"-logchannel", options.logChannel});
    std::wstring line;
    for (const std::wstring& part : parts) line += (line.empty() ? L"" : L" ") + quoteArgument(part);
    return line;
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
