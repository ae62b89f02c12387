#pragma once
// What `orvanta-verify --help` and its manual page say: the one table of its options.
// Qt Core only, so the manual page can be written at build time without the service.

#include <QList>
#include <QString>

struct VerifyCommandOption {
    QString usage; // "--listen 地址:端口"
    QString description;
    bool takesValue;
};

const QList<VerifyCommandOption>& verifyCommandOptions();
QString verifySummary();
QString verifySynopsis();
QString verifyIntroduction();
QString verifyHelpText();
