#include "TempConfigDir.h"

#include <QList>
#include <QSettings>
#include <QStandardPaths>

namespace {

constexpr char kVariable[] = "ORVANTA_CONFIG_DIR";

struct Outside {
    QByteArray value;
    bool wasSet = false;
};

// The folders alive, oldest first, and what the variable held before the first of them.
QList<const TempConfigDir*>& alive() {
    static QList<const TempConfigDir*> folders;
    return folders;
}
Outside& outside() {
    static Outside before;
    return before;
}

} // namespace

TempConfigDir::TempConfigDir() {
    if (alive().isEmpty()) outside() = {qgetenv(kVariable), qEnvironmentVariableIsSet(kVariable)};
    alive().append(this);
    qputenv(kVariable, path().toLocal8Bit());
    // Qt's own settings (the file dialog's history) stay out of the user's folder too.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, path());
}

TempConfigDir::~TempConfigDir() {
    alive().removeOne(this);
    if (!alive().isEmpty()) {
        qputenv(kVariable, alive().last()->path().toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, alive().last()->path());
        return;
    }
    if (outside().wasSet)
        qputenv(kVariable, outside().value);
    else
        qunsetenv(kVariable);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
}
