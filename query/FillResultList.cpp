#include "FillResultList.h"

#include "basGlobal.h"
#include "ErrorTraps.h"
#include "ListTable.h"
#include "ListView.h"

#include <QProgressBar>

QString CellText(const QVariant& value, int type) {
    if (value.isNull() || !value.isValid()) return {};
    if (type == ado::adBoolean) return value.toBool() ? QStringLiteral("是") : QStringLiteral("否");
    return value.toString();
}

bool IsListedField(int fieldIndex, int type) {
    return type != ado::adLongVarBinary && !isColumnHidden(fieldIndex);
}

bool IsNumberField(const QString& name, int type) {
    return type == ado::adInteger || type == ado::adDouble || name.endsWith(QStringLiteral("成绩"));
}

bool FillResultList(Recordset& rs, ListView* list) {
    SkipOnError([&] { list->clearColumns(); });
    SkipOnError([&] { list->clearRows(); });
    qint64 count = 0;
    SkipOnError([&] { count = rs.RecordCount(); });
    if (count == 0) return false;
    SkipOnError([&] {
        rs.MoveLast();
        rs.MoveFirst();
    });
    QProgressBar* bar = Prb();
    const float step = float(bar->maximum()) / float(count);

    // Field 0 is the record's key: always the row's text, whatever its flag or type.
    QVector<int> cellFields;
    QVector<int> types;
    SkipOnError([&] {
        const int fields = rs.FieldCount();
        for (int j = 0; j < fields; ++j)
            types.append(rs.Fields(j).Type());
        const auto add = [&](int field) {
            const QString name = rs.Fields(field).Name();
            const int column = list->addColumn(name);
            if (types[field] == ado::adDate) list->setDateColumn(column);
            if (IsNumberField(name, types[field])) list->setNumberColumn(column);
        };
        add(0);
        for (int j = 1; j < fields; ++j) {
            if (!IsListedField(j, types[j])) continue;
            add(j);
            cellFields.append(j);
        }
    });

    list->beginBatch();
    for (qint64 r = 1; r <= count; ++r) {
        int row = -1;
        SkipOnError([&] { row = list->addRow(CellText(rs.Fields(0).Value(), types.value(0))); });
        for (int k = 0; k < cellFields.size() && row >= 0; ++k) {
            const int j = cellFields[k];
            SkipOnError([&] { list->setSubItem(row, k + 1, CellText(rs.Fields(j).Value(), types[j])); });
        }
        SkipOnError([&] { bar->setValue(int(step * float(r))); });
        SkipOnError([&] { rs.MoveNext(); });
    }
    list->endBatch();
    bar->hide();
    gStatusPanel.setText(QStringLiteral("就绪"));
    return true;
}

void FillListFromTable(const ListTable& table, ListView* list) {
    list->clearRows();
    list->clearColumns();
    for (const QString& header : table.headers)
        list->addColumn(header);
    for (int column : table.dateColumns)
        list->setDateColumn(column);
    for (int column : table.numberColumns)
        list->setNumberColumn(column);
    list->beginBatch();
    for (const QStringList& cells : table.rows) {
        const int row = list->addRow(cells.value(0));
        for (int cell = 1; cell < cells.size(); ++cell)
            list->setSubItem(row, cell, cells[cell]);
    }
    list->endBatch();
}
