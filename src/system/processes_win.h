// Child processes: running one hidden and waiting for it, starting one with administrator
// rights, and ending the running application before its files are removed.
#pragma once
#include <windows.h>

#include <string>

#include "common/progress.h"
#include "system/handles_win.h"

struct ChildExit {
    DWORD startError = 0;  // 0 when the child was started
    DWORD exitCode = 0;
    bool timedOut = false;  // it ran past its limit and was ended
    bool started() const { return startError == 0; }
};

struct ChildOptions {
    // The program's full path, so that no program of that name elsewhere on the search path runs
    // instead (empty: Windows takes the first word of the command line).
    std::wstring application;
    std::wstring folder;       // its current folder (empty: the installer's)
    std::wstring environment;  // a whole environment block (empty: the installer's own)
    bool detachedInput = false;  // standard input, output and error on NUL, nothing else inherited
    Progress* progress = nullptr;  // waited through while the child runs (the window stays alive)
    DWORD limitMs = INFINITE;       // after this the child is ended and the step counts as failed
};

// Starts a hidden child with the (already quoted) command line and waits for it to end.
ChildExit runAndWait(std::wstring commandLine, const ChildOptions& options = {});

// Whether this process runs with an elevated (administrator) token.
bool processIsElevated();

// ShellExecuteW with the verb "runas" (or another verb); true when Windows started it.
bool shellExecute(const wchar_t* verb, const std::wstring& file, const std::wstring& arguments = {});
// The same with ShellExecuteExW, keeping the started process's handle for a caller that waits
// for it; empty when nothing was started.
KernelHandle shellExecuteProcess(const wchar_t* verb, const std::wstring& file, const std::wstring& arguments);

// Terminates every process whose executable file name equals name exactly (case-sensitive),
// never the installer itself.
void terminateProcessesByName(const std::wstring& name);
