#pragma once
// The command line of orvanta-verify: the run of the service (its options and --help are in
// VerifyHelp.h).

#include <QStringList>

// Runs the service until SIGTERM or SIGINT (or prints what --help, --version or --show-counts ask);
// the exit status: 0 after a clean stop, 1 on any failure, told on standard error.
int runVerifyCommand(const QStringList& arguments);
