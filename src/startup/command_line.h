// Rules of the start-up that need no Windows call: the command line (the switches and the
// download server) and the name of the relaunch's copy folder.
#pragma once
#include <string>
#include <vector>

#include "common/product_config.h"

struct StartupOptions {
    std::wstring baseUrl;       // ends in "/" or "\"
    bool testUrlGiven = false;  // "-test" named an https:// server that replaced the default
    bool uninstallMode = false;
    bool silent = false;        // "-silent": no window, no box; the exit code tells what happened
    bool passive = false;       // "-passive": as -silent, but the progress page is shown (with Cancel)
    std::wstring logPath;       // the value of "-log", in the case it was given; empty without one
    // The value of "-logchannel": the pipe through which the relaunched copy sends its log lines to
    // the process that started it (and owns the log); empty without one.
    std::wstring logChannel;
};

// Splits an argument string (the command line after the program's name) as Windows'
// CommandLineToArgvW does: blanks and tabs outside quotes separate; 2n backslashes before a quote
// give n backslashes and the quote opens or closes a quoted part; 2n+1 give n and a literal quote;
// other backslashes are literal; inside quotes, a run of three quotes gives one literal quote.
// Line breaks are ordinary characters of an argument.
std::vector<std::wstring> splitArguments(const std::wstring& line);

// One argument written so that splitArguments gives it back unchanged: as it is when it has no
// blank, tab, line break or quote and is not empty, else quoted with its backslashes and quotes
// escaped.
std::wstring quoteArgument(const std::wstring& argument);

// The switches count only as whole arguments, in any letter case: "-uninstall", "-silent",
// "-passive", "-log VALUE" and "-test VALUE". The argument after "-log" or "-test" is its value, whatever it
// says, and never a switch itself. Other arguments are ignored. A "-test" value is taken only as
// an https:// URL with a host, lower-cased, "/" appended unless it ends in "/" or "\"; otherwise
// the default stays. (A substring search of the whole line would let a log path such as
// "D:\pre-uninstall\a.log" turn an installation into an uninstallation.)
StartupOptions parseCommandLine(const std::wstring& arguments, const std::wstring& defaultUrl = defaultBaseUrl);

// The arguments the elevated copy is started with: the parsed options written again as switches
// with quoted values (the log path in its own case, the log channel), so that the copy parses the
// same options.
std::wstring elevationArguments(const StartupOptions& options);

// The name of a new copy folder inside the temporary folder (given with its trailing backslash).
std::wstring copyFolderPath(const std::wstring& tempFolder, unsigned long processId, unsigned long attempt,
                            unsigned long long tick);

// Whether a folder name is one that copyFolderPath makes (copyFolderPrefix and three hexadecimal
// numbers).
bool isCopyFolderName(const std::wstring& name);
