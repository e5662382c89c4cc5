// The installer's one window: pages, the action and cancel buttons, language switching.
#pragma once
#include <windows.h>

#include "setup/setup_context_win.h"

// How the window ends the process once the user is done or a failure was shown; never returns.
typedef void (*ProcessEnd)() __attribute__((noreturn));

// The class's name is the string resource WINDOW_CLASS_STRING_ID.
ATOM registerInstallerWindowClass(HINSTANCE instance);
// Creates, centres and shows the window on the first page for what start-up found (the context
// must outlive the window); false when it could not be created.
bool createInstallerWindow(HINSTANCE instance, int showCommand, const SetupContext& context, ProcessEnd end);
