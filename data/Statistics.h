#pragma once
// The counts an office reports: per register by year of issue, trade, certificate level,
// education and sex, and the reviews and renewals due in each of the next twelve months. Every
// count is taken by the database.

#include "adodb.h"

#include <QDate>
#include <QList>
#include <QStringList>
#include <QVector>

struct ListTable;

enum class StatDimension { IssueYear, Trade, Level, Education, Sex, DueMonth };

struct StatDimensionDef {
    StatDimension dimension;
    QString caption;     // what the window offers
    QString firstHeader; // the first column of the table
};
const QList<StatDimensionDef>& statDimensions();

struct StatTable {
    QString title;
    QString firstHeader;
    QStringList series;              // the registers that have the dimension
    QStringList categories;          // the rows, in the order shown
    QVector<QVector<qint64>> counts; // [category][series]

    qint64 total(int category) const;
    // Columns: the category, one per register, 合计; a last row 合计.
    ListTable asListTable() const;
};

// Texts that are empty or null are counted under this label.
QString unfilledLabel();

StatTable computeStatistics(Connection& conn, StatDimension dimension, const QDate& today);
