#include "RosterCommand.h"

#include "CommandLine.h"
#include "DataFolder.h"
#include "DatabaseGlobals.h"
#include "PhotoFit.h"
#include "PhotoImport.h"
#include "RegisterCatalog.h"
#include "RosterImport.h"

#include <QTextStream>

namespace {

const QString kRegisterAsked = QStringLiteral("请用 --register 指定登记表 DangAnKu、CaoZuoZheng 或 PeiXun。");

// The register both modes write into, and the database opened for them; an operator check for
// these modes belongs here, with the opening.
QString openRegister(const CommandLine& commandLine, QString& table) {
    table = commandLine.value(QStringLiteral("--register")).value_or(QString());
    if (!registerOfTable(table)) return kRegisterAsked;
    return openCommandDatabase(commandLine);
}

std::optional<StoredPersonPolicy> policyAsked(const QString& text, bool& valid) {
    valid = true;
    if (text == QLatin1String("update")) return StoredPersonPolicy::Update;
    if (text == QLatin1String("skip")) return StoredPersonPolicy::Skip;
    if (text == QLatin1String("add")) return StoredPersonPolicy::AddNew;
    valid = text.isEmpty();
    return std::nullopt;
}

} // namespace

std::optional<int> runImportRoster(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--import-roster")) return std::nullopt;
    const QString file = commandLine.modeArgument();
    if (file.isEmpty()) return failCommand(QStringLiteral("请给出花名册文件：--import-roster 文件名"));
    bool validPolicy = true;
    const auto policy =
        policyAsked(commandLine.value(QStringLiteral("--existing")).value_or(QString()), validPolicy);
    if (!validPolicy)
        return failCommand(QStringLiteral("--existing 只能是 update（更新）、skip（跳过）或 add（另加新证）。"));
    QString table;
    QString error = openRegister(commandLine, table);
    if (!error.isEmpty()) return failCommand(error);
    const bool dryRun = commandLine.has(QStringLiteral("--dry-run"));

    Roster roster = loadRoster(file, table);
    if (!roster.error.isEmpty()) return failCommand(roster.error);
    for (const QString& pair : commandLine.values(QStringLiteral("--map"))) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        error = eq < 0 ? QStringLiteral("--map 应写成 列名=字段：%1").arg(pair)
                       : roster.mapColumn(pair.left(eq), pair.mid(eq + 1).trimmed());
        if (!error.isEmpty()) return failCommand(error);
    }
    if (!roster.unmappedHeadings().isEmpty())
        tellCommand(QStringLiteral("这些列没有导入：%1").arg(roster.unmappedHeadings().join(QStringLiteral("、"))));
    RosterReport report;
    try {
        RosterCheck check = checkRoster(roster, gConn);
        if (!check.unknownOptions.isEmpty() && commandLine.has(QStringLiteral("--add-options"))) {
            for (const auto& [category, value] : check.unknownOptions) {
                if (!dryRun) addOptionValue(gConn, category, value);
                tellCommand(QStringLiteral("%1选项中加入“%2”").arg(category, value));
            }
            if (!dryRun) check = checkRoster(roster, gConn);
        }
        if (check.rowsAlreadyStored() > 0 && !policy && !dryRun)
            return failCommand(QStringLiteral("有 %1 人已在登记表中，请用 --existing update|skip|add 指定更新、跳过还是另加新证。")
                                   .arg(check.rowsAlreadyStored()));
        RosterImportHooks hooks;
        hooks.policy = policy ? policy : std::optional(StoredPersonPolicy::Skip);
        report = importRoster(roster, check, gConn, hooks, dryRun);
    } catch (const DbError& e) {
        return failCommand(QStringLiteral("读取登记表时出错：") + e.description);
    }
    report.database = commandDatabaseName(commandLine);
    if (!dryRun) {
        saveRosterReport(report, ReportFolder());
        try {
            if (report.fatal.isEmpty()) saveRosterMapping(roster);
        } catch (const DbError&) {
            // The records are in; a mapping not remembered only means asking again next time.
        }
    }
    QTextStream(stdout) << report.text();
    if (!report.fatal.isEmpty()) return failCommand(QStringLiteral("花名册没有导入：") + report.fatal);
    if (!dryRun && report.savedAs.isEmpty()) tellCommand(QStringLiteral("导入报告没能保存。"));
    if (report.refused > 0)
        return failCommand(QStringLiteral("有 %1 行因有问题没有导入，请查看导入报告。").arg(report.refused));
    return 0;
}

std::optional<int> runImportPhotos(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--import-photos")) return std::nullopt;
    const QString folder = commandLine.modeArgument();
    if (folder.isEmpty()) return failCommand(QStringLiteral("请给出照片文件夹：--import-photos 文件夹"));
    QString table;
    const QString error = openRegister(commandLine, table);
    if (!error.isEmpty()) return failCommand(error);
    PhotoImportOptions options;
    options.dryRun = commandLine.has(QStringLiteral("--dry-run"));
    options.replaceExisting = commandLine.has(QStringLiteral("--replace"));
    if (commandLine.has(QStringLiteral("--fit"))) options.fit = &FitToIdPhoto;
    PhotoImportReport report = importPhotos(folder, table, gConn, options);
    report.database = commandDatabaseName(commandLine);
    if (!options.dryRun) savePhotoReport(report, ReportFolder());
    QTextStream(stdout) << report.text();
    if (!report.fatal.isEmpty()) return failCommand(QStringLiteral("照片没有导入：") + report.fatal);
    if (report.skipped > 0)
        return failCommand(QStringLiteral("有 %1 个照片文件没有导入，请查看导入报告。").arg(report.skipped));
    return 0;
}
