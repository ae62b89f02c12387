#include "fMain.h"
#include "Schema.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

int fail(const QString& message) {
    QTextStream(stderr) << message << Qt::endl;
    return 1;
}

// Administrator commands that prepare databases; each returns an exit code.
std::optional<int> runCommand(const QStringList& args) {
    if (args.size() < 3) return std::nullopt;
    const QString& command = args[1];
    if (command == QLatin1String("--create-database")) {
        const QString error = createLocalDatabase(args[2]);
        return error.isEmpty() ? 0 : fail(error);
    }
    if (command == QLatin1String("--create-database-if-absent")) {
        const QDir dir(args[2]);
        for (const auto& [file, create] :
             {std::pair{QStringLiteral("MoLian.mdb"), &createLocalDatabase},
              std::pair{QStringLiteral("print.dat"), &createPrintSettingsFile}}) {
            const QString path = dir.filePath(file);
            if (QFileInfo::exists(path)) continue;
            const QString error = create(path);
            if (!error.isEmpty()) return fail(error);
        }
        return 0;
    }
    if (command == QLatin1String("--create-schema-postgres")) {
        const QString error = createServerSchema(args[2], true);
        return error.isEmpty() ? 0 : fail(error);
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (const auto code = runCommand(QCoreApplication::arguments())) return *code;
    fMain mainForm;
    if (!mainForm.startUp()) return 0;
    return app.exec();
}
