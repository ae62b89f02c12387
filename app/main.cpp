#include "CommandLine.h"
#include "fMain.h"

#include <QApplication>

int main(int argc, char** argv) {
    // Command-line modes show no window, so they need no display either.
    if (argc > 1 && qstrncmp(argv[1], "--", 2) == 0 && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (const auto code = runCommand(QCoreApplication::arguments())) return *code;
    fMain mainForm;
    if (!mainForm.startUp()) return 0;
    return app.exec();
}
