#include "CommandLine.h"
#include "fMain.h"
#include "Translations.h"
#include "WidgetDialogs.h"

#include <cstring>
#include <QApplication>

namespace {

// A mode reports in the system's words; the toolkit's own English notices stay out of it.
void dropToolkitNotices(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(message));
}

// Qt's file dialogs date their files by the session's time locale, not by the default locale the
// program sets; the operators read Chinese whatever language the desktop session runs in.
void dateFilesInChinese() {
    const QByteArray all = qgetenv("LC_ALL");
    if (!all.isEmpty() && !all.startsWith("zh")) {
        // LC_ALL would outrank LC_TIME; the other categories keep its value through LANG.
        qputenv("LANG", all);
        qunsetenv("LC_ALL");
    }
    if (!qgetenv("LC_ALL").startsWith("zh")) qputenv("LC_TIME", "zh_CN.UTF-8");
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
    dateFilesInChinese();
    QApplication app(argc, argv);
    // Also for the modes: the database drivers' own notices come from Qt's catalogue.
    installQtTranslations();
    if (const auto code = runCommand(QCoreApplication::arguments())) return *code;
    installWidgetDialogs();
    fMain mainForm;
    if (!mainForm.startUp()) return 0;
    return app.exec();
}
