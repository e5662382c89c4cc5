// Rules of the log that need no Windows call: how a value is written so that one line is always
// one event, and the name of the channel through which the elevated copy's lines reach the log.
#pragma once
#include <cstddef>
#include <string>

// The text with every control character written out: "\r", "\n", "\t" by name, the other C0 and
// C1 controls and DEL as "\xNN", the Unicode line and paragraph separators as "\u2028" and
// "\u2029". A value (an argument, a path, a server's text) can then never start a line of its own.
std::wstring escapedLogText(const std::wstring& text);

// The name of the pipe through which the elevated copy sends its lines to the process that owns
// the log: our prefix and the 16 random bytes in hexadecimal, so nobody else can guess it.
std::wstring logChannelName(const unsigned char (&random)[16]);

// Whether a name is one that logChannelName makes: a pipe on this machine, never a file's path.
bool isLogChannelName(const std::wstring& name);
