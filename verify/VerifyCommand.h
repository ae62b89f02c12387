#pragma once
// The command line of orvanta-verify: its options, its own --help, and the run of the service.

#include <QString>
#include <QStringList>

struct VerifyCommandOption {
    QString usage;       // "--listen 地址:端口"
    QString description;
    bool takesValue;
};

const QList<VerifyCommandOption>& verifyCommandOptions();
QString verifyHelpText();

// Runs the service until SIGTERM or SIGINT (or prints what --help, --version or --show-counts ask);
// the exit status: 0 after a clean stop, 1 on any failure, told on standard error.
int runVerifyCommand(const QStringList& arguments);
