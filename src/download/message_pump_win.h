// Letting window messages through during long work, and running child processes.
#pragma once
#include <string>

// Dispatches every queued message of the thread, then returns.
void pumpMessages();

// Spends at least ms milliseconds (monotonic clock) dispatching messages as they arrive,
// without burning a processor; returns at once for 0 or less.
void waitPumping(int ms);

// Starts a hidden child process with the (already quoted) command line and waits for it.
void runAndWait(std::wstring commandLine);
