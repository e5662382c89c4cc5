// The installer's log: a UTF-8 file with one time-stamped line per event, written only by the
// process that the user or the deployment tool started, with its rights. Each line is appended
// with the file opened and closed around it, so that a roll-back or a crash never loses what was
// written. The elevated copy opens no file for it: its lines travel through a pipe that the
// owning process creates and reads (LogRelay), and every value is escaped, so that one line is
// always one event.
#pragma once
#include <windows.h>

#include <string>

#include "system/handles_win.h"

// Starts logging to path (its missing folders are created with this process's rights). False, and
// no logging, when the file cannot be opened for appending or is not a plain file of its own.
bool openLog(const std::wstring& path);
// Starts logging through the channel a LogRelay made (its name, checked to be one of ours): the
// elevated copy's way to log. False, and no logging, when it cannot be connected.
bool connectLogChannel(const std::wstring& name);
// Whether lines go anywhere (a file of this process or a channel).
bool logIsOpen();
void logLine(const std::wstring& text);

// The log of an unattended run without -log: LumidexFlashdeckSetup.log in the temporary folder.
std::wstring defaultLogPath();

// The owning side of the channel: a pipe with an unguessable name that only the started copy may
// connect to. Its lines are appended to this process's log as they arrive.
class LogRelay {
public:
    // Makes the pipe; invalid (an empty name) when it cannot be made.
    static LogRelay create();
    const std::wstring& name() const { return name_; }
    // Writes what the copy sends into the log until the copy has ended; returns after it ended.
    void relayUntilEnded(HANDLE copy);

private:
    std::wstring name_;
    FileHandle pipe_;
    KernelHandle event_;
};
