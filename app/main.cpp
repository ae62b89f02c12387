#include "CommandLine.h"
#include "fMain.h"
#include "Translations.h"

#include <cstring>
#include <QApplication>

namespace {

// A mode reports in the system's words; the toolkit's own English notices stay out of it.
void dropToolkitNotices(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char** argv) {
    // Command-line modes run from scheduled jobs without a display; they never show a window,
    // so they draw (PDF pages, charts) on the offscreen platform.
    const bool commandMode = argc > 1 && std::strncmp(argv[1], "--", 2) == 0;
    if (commandMode) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler(dropToolkitNotices);
    }
    QApplication app(argc, argv);
    // Also for the modes: the database drivers' own notices come from Qt's catalogue.
    installQtTranslations();
    if (const auto code = runCommand(QCoreApplication::arguments())) return *code;
    fMain mainForm;
    if (!mainForm.startUp()) return 0;
    return app.exec();
}
