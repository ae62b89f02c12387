#include "CommandLine.h"
#include "fMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (const auto code = runCommand(QCoreApplication::arguments())) return *code;
    fMain mainForm;
    if (!mainForm.startUp()) return 0;
    return app.exec();
}
