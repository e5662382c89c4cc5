// How the process ends, and what becomes of the boxes in an unattended run: decided here, where
// the mode is known, and nowhere below.
#pragma once
#include <string>

#include "common/exit_codes.h"
#include "setup/setup_context_win.h"

// Ends the process after a log line. The code reaches the caller only in an unattended run: an
// interactive run ends with 0 whatever happened.
[[noreturn]] void endProcess(SetupContext::Mode mode, ExitCode code = ExitCode::Success);

// The window's ways to end the process: an interactive run (always 0) or a -passive one.
[[noreturn]] void endInteractiveRun(ExitCode code);
[[noreturn]] void endPassiveRun(ExitCode code);

// An unattended run (-silent, -passive) shows no box: from now on every box becomes a line of the log.
void logBoxesInsteadOfShowing();
