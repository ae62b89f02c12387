#include "VerifyCommand.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return runVerifyCommand(QCoreApplication::arguments());
}
