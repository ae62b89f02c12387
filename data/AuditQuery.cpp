#include "AuditQuery.h"

const QVector<AuditTable>& auditTables() {
    static const QVector<AuditTable> tables = {
        {QStringLiteral("DangAnKu"), QStringLiteral("证书")},
        {QStringLiteral("CaoZuoZheng"), QStringLiteral("操作证")},
        {QStringLiteral("PeiXun"), QStringLiteral("安全生产培训")},
        {QStringLiteral("Users"), QStringLiteral("操作员")},
        {QStringLiteral("List"), QStringLiteral("选项")},
    };
    return tables;
}

Statement auditStatement(const AuditFilter& filter) {
    QString tableCaption = QStringLiteral("CASE 表名");
    for (const AuditTable& t : auditTables())
        tableCaption +=
            QStringLiteral(" WHEN %1 THEN %2").arg(QuoteLiteral(t.table), QuoteLiteral(t.caption));
    tableCaption += QStringLiteral(" ELSE 表名 END AS 表");
    QStringList conditions;
    // The time is text "yyyy-MM-dd HH:mm:ss": a day runs up to the start of the next.
    if (filter.from)
        conditions << QStringLiteral("时间 >= %1").arg(QuoteLiteral(filter.from->toString(Qt::ISODate)));
    if (filter.to)
        conditions
            << QStringLiteral("时间 < %1").arg(QuoteLiteral(filter.to->addDays(1).toString(Qt::ISODate)));
    if (!filter.operatorName.isEmpty())
        conditions << QStringLiteral("操作员 = %1").arg(QuoteLiteral(filter.operatorName));
    if (!filter.table.isEmpty()) conditions << QStringLiteral("表名 = %1").arg(QuoteLiteral(filter.table));
    if (!filter.key.isEmpty()) conditions << QStringLiteral("关键字 = %1").arg(QuoteLiteral(filter.key));
    QString sql =
        QStringLiteral("SELECT 时间, 操作员, 工作站, %1, 关键字, 操作, 字段, 旧值, 新值 FROM AuditLog")
            .arg(tableCaption);
    if (!conditions.isEmpty()) sql += QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "));
    sql += QStringLiteral(" ORDER BY 编号 DESC");
    return Statement{sql, sql, {}};
}

QStringList auditOperators(Connection& conn) {
    QStringList names;
    ForEachRow(conn,
               Statement{{}, QStringLiteral("SELECT DISTINCT 操作员 FROM AuditLog ORDER BY 操作员"), {}},
               [&](const QVariantList& row) { names << row.value(0).toString(); });
    return names;
}
