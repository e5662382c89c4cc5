// Letting window messages through: the main loop, and pauses during long work.
#pragma once
#include <windows.h>

#include "common/progress.h"

// The window whose keyboard handling is the dialog manager's (Tab, Enter, Escape, arrows); every
// pump below lets it see the keys first. Null for none.
void setDialogWindow(HWND window);

// Dispatches every queued message of the thread, then returns.
void pumpMessages();

// Spends at least ms milliseconds (monotonic clock) dispatching messages as they arrive,
// without burning a processor; returns at once for 0 or less.
void waitPumping(int ms);

// Dispatches messages (through the accelerators, when given) until WM_QUIT or a failure of
// GetMessageW; filter is for tests. Returns the process's exit code, always 0.
int runMessageLoop(HACCEL accelerators, HWND filter = nullptr);

// Progress without a window: nothing to show, nobody to press Cancel, so no pauses; waits block.
// What the unattended run and the start-up's version check report to.
class NoWindowProgress final : public Progress {
public:
    void position(unsigned) override {}
    void pause(int) override {}
    bool cancelRequested() const override { return false; }
    void wait(void* event, unsigned long ms) override;
};
