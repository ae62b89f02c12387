#pragma once
// What the 操作日志 window asks of table AuditLog: newest first, by date range, operator, table
// and key.

#include "adodb.h"

#include <optional>
#include <QDate>
#include <QVector>

struct AuditTable {
    QString table;   // as stored in AuditLog.表名
    QString caption; // as the window and the list show it
};

// The tables the trail names, in the order the window offers them.
const QVector<AuditTable>& auditTables();

struct AuditFilter {
    std::optional<QDate> from; // inclusive, both
    std::optional<QDate> to;
    QString operatorName; // empty: every operator
    QString table;        // empty: every table
    QString key;          // empty: every key; otherwise exactly this one
};

// The statement, its values written as quoted literals so that the list window's refresh can
// reopen the very same text.
Statement auditStatement(const AuditFilter& filter);

// The operators the trail names, for the window's choice.
QStringList auditOperators(Connection& conn);
