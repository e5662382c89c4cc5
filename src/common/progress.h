// What a long step reports to whoever shows it, and what it asks of it: the window (a bar, a
// Cancel button, messages dispatched while it waits) or the unattended run (none of that). The
// steps never know which: they report positions, pause and wait only through this.
#pragma once

class Progress {
public:
    // The bar's position, 0 to 100.
    virtual void position(unsigned percent) = 0;
    // The pause between two steps of a sequence: the one place that decides how it is waited.
    virtual void pause(int ms) = 0;
    // Whether the user asked the running work to stop.
    virtual bool cancelRequested() const = 0;
    // Waits at most ms for the event (a HANDLE; nullptr: for nothing) and returns early once it
    // is set. The window lets its messages through meanwhile, so it repaints and sees a Cancel.
    virtual void wait(void* event, unsigned long ms) = 0;

protected:
    ~Progress() = default;
};
