#pragma once
// Writing a list to a file chosen by its name (.pdf, .xlsx, .csv) without any window: what the
// command-line modes use, through the same print and export code as the list window.

#include "dialogs.h"
#include "ListTable.h"

// Stands in for the dialogs while a mode runs: the print dialog "chooses" a PDF file, messages
// go to standard error.
class PdfOnlyDialogs : public DialogService {
public:
    explicit PdfOnlyDialogs(QString path);
    int msgBox(const QString& prompt, int flags, const QString& title) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                    const QString& defaultText) override;
    std::optional<QString> showOpen(const QString& vbFilter, QObject* parent) override;
    void beep() override;
    PrintRoute printDialog(const QString& documentName, QObject* parent) override;

private:
    QString m_path;
};

// Empty when `path` ends in .pdf, .xlsx or .csv; otherwise what to tell the operator.
QString TableFileNameError(const QString& path);
// Writes the `rowCount` rows `read` gives, under the headers and column kinds of `columns` and
// `title`, as they are read (a register of any size keeps only a window of rows in memory); `note`
// is the printout's count line. A read that throws DbError leaves no file and says why. The file
// written goes into the trail of gConn's database; without that row it is removed again. Returns
// an empty text on success, else what went wrong.
QString WriteTableFile(const QString& path, const QString& title, const ListTable& columns, qint64 rowCount,
                       const ListRowReader& read, const QString& note, bool gbk);
