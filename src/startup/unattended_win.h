// The unattended run (-silent): what the first page would offer, done without a window, every
// step in the log, and an exit code that tells a deployment tool what happened.
#pragma once
#include "setup/setup_context_win.h"

// Installs, upgrades, uninstalls or does nothing, as the installed and offered versions and
// -uninstall decide; never returns.
[[noreturn]] void runUnattended(const SetupContext& setup);
