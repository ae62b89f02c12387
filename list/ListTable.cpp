#include "ListTable.h"

#include "ListView.h"

ListTable TableOfList(const ListView* list) {
    ListTable table;
    if (!list) return table;
    list->loadAllRows();
    for (int column = 0; column < list->columnCount(); ++column) {
        table.headers << list->columnText(column);
        if (list->isDateColumn(column)) table.dateColumns << column;
    }
    for (int row = 0; row < list->rowCount(); ++row) {
        QStringList cells{list->text(row)};
        for (int column = 1; column < list->columnCount(); ++column)
            cells << list->subItem(row, column);
        table.rows << cells;
    }
    return table;
}
