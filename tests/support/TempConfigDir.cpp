#include "TempConfigDir.h"

#include <QList>

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
}

TempConfigDir::~TempConfigDir() {
    alive().removeOne(this);
    if (!alive().isEmpty())
        qputenv(kVariable, alive().last()->path().toLocal8Bit());
    else if (outside().wasSet)
        qputenv(kVariable, outside().value);
    else
        qunsetenv(kVariable);
}
