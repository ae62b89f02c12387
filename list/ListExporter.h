#pragma once
// The export component: asks where to save a list and writes it as an Excel workbook or as CSV
// text in UTF-8 or GBK.

#include "ListTable.h"

#include <functional>

class ListView;

class ListExporter {
public:
    // RunExport's code: the format the save dialog offers first.
    enum Format { ExcelWorkbook = 1001, CsvUtf8 = 1002, CsvGbk = 1003 };

    void SetExportList(ListView* list) { m_list = list; }
    // Told to the user when the file cannot be written.
    void SetHelpText(const QString& text) { m_helpText = text; }
    // Offers a file named after the title in `folder`; returns the path written, empty when the
    // operator cancelled or writing failed (which has been told).
    QString RunExport(int format, const QString& folder, const QString& title);

private:
    ListView* m_list = nullptr;
    QString m_helpText;
};

// Rows handed over one at a time: calls the visitor with each row (its text, then its cells) in order.
using RowStream = std::function<void(const std::function<void(const QStringList&)>&)>;

// Both return an empty text on success, else what went wrong. The rows are those of `table`, or
// those `rows` gives under the headers and column kinds of `columns`, written as they come.
QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& table);
// `rowCount` says how many rows `rows` gives: a long list keeps only the row being written in
// memory (each text in its cell, not in the shared table), and goes on in another sheet, under
// the header row again, past the last row a sheet has.
QString WriteWorkbook(const QString& path, const QString& sheetTitle, const ListTable& columns,
                      const RowStream& rows, qint64 rowCount);
// GBK is written as GB18030, its superset, so that no character is lost.
QString WriteCsv(const QString& path, const ListTable& table, bool gbk);
QString WriteCsv(const QString& path, const ListTable& columns, const RowStream& rows, bool gbk);
