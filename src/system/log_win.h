// The installer's log: a UTF-8 file with one time-stamped line per event. Each line is appended
// with the file opened and closed around it, so that both processes of a run (the first and its
// elevated copy) can write to it, and a roll-back or a crash never loses what was written.
#pragma once
#include <string>

// Starts logging to path (its folder is created). False, and no logging, when the file cannot be
// opened for appending or is not a plain file of its own (a link planted for the elevated copy).
bool openLog(const std::wstring& path);
void logLine(const std::wstring& text);

// The log of an unattended run without -log: LumidexFlashdeckSetup.log in the temporary folder.
std::wstring defaultLogPath();
