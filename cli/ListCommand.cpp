#include "ListCommand.h"

#include "CommandLine.h"
#include "DatabaseGlobals.h"
#include "FillResultList.h"
#include "fToList.h"
#include "RegisterCatalog.h"
#include "TableFiles.h"

#include <memory>

RegisterRows RegisterRowsOf(Connection& conn, const RegisterDef& shown) {
    auto records = std::make_shared<Recordset>();
    records->Open(QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(shown.table, shown.keyColumn), conn,
                  ado::adOpenStatic);
    const QString prefix = ColumnChoicePrefix(shown.table, shown.listTitle);
    RegisterRows shownRows;
    QList<int> fields;
    QList<int> types;
    for (int i = 0; i < records->FieldCount(); ++i) {
        const Field field = records->Fields(i);
        types << field.Type();
        if (field.Type() == ado::adLongVarBinary || !SavedColumnTick(prefix, i)) continue;
        ListTable& columns = shownRows.columns;
        if (field.Type() == ado::adDate) columns.dateColumns << int(columns.headers.size());
        if (IsNumberField(field.Name(), field.Type())) columns.numberColumns << int(columns.headers.size());
        columns.headers << field.Name();
        fields << i;
    }
    shownRows.count = records->RecordCount();
    shownRows.read = [records, fields, types](qint64 first, int count) {
        QList<ListRow> rows;
        if (first >= records->RecordCount()) return rows;
        records->setAbsolutePosition(first + 1);
        for (; rows.size() < count && !records->IsEOF(); records->MoveNext()) {
            ListRow row;
            for (int i : fields)
                row.cells << CellText(records->Fields(i).Value(), types[i]);
            row.mark = records->bookmark();
            rows << row;
        }
        return rows;
    };
    return shownRows;
}

std::optional<int> runList(const CommandLine& commandLine) {
    if (commandLine.mode() != QLatin1String("--list")) return std::nullopt;
    const QString tableName = commandLine.modeArgument();
    const RegisterDef* shown = registerOfTable(tableName);
    if (!shown)
        return failCommand(
            QStringLiteral("请在 --list 后给出表名 DangAnKu、CaoZuoZheng 或 PeiXun：%1").arg(tableName));
    const QString out = commandLine.value(QStringLiteral("--out")).value_or(QString());
    QString error = TableFileNameError(out);
    if (!error.isEmpty()) return failCommand(error);
    const QString encoding =
        commandLine.value(QStringLiteral("--encoding")).value_or(QStringLiteral("utf-8")).toLower();
    if (encoding != QLatin1String("utf-8") && encoding != QLatin1String("gbk"))
        return failCommand(QStringLiteral("--encoding 后应为 utf-8 或 gbk：%1").arg(encoding));

    error = openCommandDatabase(commandLine);
    if (!error.isEmpty()) return failCommand(error);
    RegisterRows rows;
    try {
        rows = RegisterRowsOf(gConn, *shown);
    } catch (const DbError& e) {
        return failCommand(QStringLiteral("读取%1时出错：%2").arg(shown->listTitle, e.description));
    }
    const QString note = QStringLiteral("共 %1 条").arg(rows.count);
    error = WriteTableFile(out, shown->listTitle, rows.columns, rows.count, rows.read, note,
                           encoding == QLatin1String("gbk"));
    if (!error.isEmpty()) return failCommand(QStringLiteral("无法写入文件%1：%2").arg(out, error));
    tellCommand(QStringLiteral("已写出%1 %2 条：%3").arg(shown->listTitle).arg(rows.count).arg(out));
    return 0;
}
