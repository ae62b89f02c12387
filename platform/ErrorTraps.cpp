#include "ErrorTraps.h"

void ShowErrorNumber(const DbError& error) {
    MsgBox(QString::number(error.number) + error.description, vb::Critical);
}
