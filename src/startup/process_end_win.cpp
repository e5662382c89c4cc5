#include "startup/process_end_win.h"

#include <windows.h>

#include "system/log_win.h"
#include "window/boxes_win.h"

namespace {
int logInsteadOfBox(const std::wstring& text, const std::wstring& caption, unsigned) {
    logLine(L"message (no box in an unattended run): " + caption + L": " + text);
    return IDOK;
}
}  // namespace

void endProcess(SetupContext::Mode mode, ExitCode code) {
    const UINT exitCode = mode != SetupContext::Mode::Interactive ? static_cast<UINT>(code) : 0;
    logLine(L"end: exit code " + std::to_wstring(exitCode));
    ExitProcess(exitCode);
}

void endInteractiveRun(ExitCode code) { endProcess(SetupContext::Mode::Interactive, code); }

void endPassiveRun(ExitCode code) { endProcess(SetupContext::Mode::Passive, code); }

void logBoxesInsteadOfShowing() { setMessageBoxHook(logInsteadOfBox); }
