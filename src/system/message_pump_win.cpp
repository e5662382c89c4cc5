#include "system/message_pump_win.h"

#include <windows.h>

namespace {
// Milliseconds on a monotonic clock: a change of the system time neither lengthens nor
// shortens a pause.
long long monotonicMilliseconds() {
    static const long long frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<long long>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1000 + now.QuadPart % frequency * 1000 / frequency;
}

HWND dialogWindow = nullptr;

// Keys for the dialog window are handled by the dialog manager, also while the work pumps.
bool dialogTook(MSG& message) { return dialogWindow && IsDialogMessageW(dialogWindow, &message); }
}  // namespace

void setDialogWindow(HWND window) { dialogWindow = window; }

void pumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (dialogTook(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void waitPumping(int ms) {
    if (ms <= 0) return;
    const long long start = monotonicMilliseconds();
    for (;;) {
        // Measured before the pass and tested after it, so the wait ends with a pass.
        const long long elapsed = monotonicMilliseconds() - start;
        pumpMessages();
        if (elapsed >= ms) return;
        // Sleeps until a message arrives or the time is up instead of spinning.
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(ms - elapsed), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

void NoWindowProgress::wait(void* event, unsigned long ms) {
    if (event) {
        WaitForSingleObject(event, ms);
    } else if (ms > 0) {
        Sleep(ms);
    }
}

int runMessageLoop(HACCEL accelerators, HWND filter) {
    MSG message;
    // GetMessageW gives -1 on failure, with nothing in the message: that ends the loop too.
    while (GetMessageW(&message, filter, 0, 0) > 0) {
        if (accelerators && TranslateAcceleratorW(message.hwnd, accelerators, &message)) continue;
        if (!dialogTook(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    // The installer's exit code is 0 whatever ended the loop.
    return 0;
}
