// The installer's one window: pages, the action and cancel buttons, language switching.
#pragma once
#include <windows.h>

#include "common/exit_codes.h"
#include "setup/setup_context_win.h"

// How the window ends the process once the user is done or a failure was shown, with the code
// of the page it ended on (an interactive run reports 0 whatever it is); never returns.
typedef void (*ProcessEnd)(ExitCode code) __attribute__((noreturn));

// The class's name is the string resource WINDOW_CLASS_STRING_ID.
ATOM registerInstallerWindowClass(HINSTANCE instance);
// Creates, centres and shows the window on the first page for what start-up found (the context
// must outlive the window); false when it could not be created. A -passive run shows the progress
// page at once, does what the first page offers and ends by itself.
bool createInstallerWindow(HINSTANCE instance, int showCommand, const SetupContext& context, ProcessEnd end);
