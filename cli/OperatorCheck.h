#pragma once
// Who may run each command-line mode: the same operators and rights as the window it stands for.
// Checked once, before any mode touches the database.

#include "CommandLine.h"

#include <optional>

// Authenticates --operator with --operator-password-file (asked on a terminal when the file is not
// given and one is there) against the database the mode works on, and checks the mode's right. The
// failing exit status when refused; nullopt when the mode may run (the trail then names him).
std::optional<int> refuseUnauthorisedOperator(const CommandLine& commandLine);
