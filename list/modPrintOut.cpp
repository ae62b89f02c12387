#include "modPrintOut.h"

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"
#include "DataFolder.h"
#include "ErrorTraps.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ListView.h"
#include "ModSql.h"
#include "WidgetDialogs.h"

#include <QDate>
#include <QPrinter>

std::unique_ptr<ListPrinter> gPrinter;
QVariantList gPageNotesA;
QVariantList gPageNotesB;

namespace {

bool printNotesBuilt = false;

const QString kAdministrator = QStringLiteral("管理员");

ListPrinter& printer() {
    if (!gPrinter) gPrinter = std::make_unique<ListPrinter>();
    return *gPrinter;
}

// An output the trail cannot take is said; the pages or the file exist already.
void recordOutput(const QString& action, const QString& title, int rows, const QString& how) {
    ReportAndGoOn([&] {
        AuditLog::record(gConn.database(), action, QString(), title, {},
                         QStringLiteral("%1 行，%2").arg(rows).arg(how));
    });
}

bool mayPrint() {
    return CheckRight(kPrintRight);
}

} // namespace

void InitPrintNotes() {
    if (printNotesBuilt) return;
    gPageNotesA = {QVariant(), QDate::currentDate(), QString()};
    gPageNotesB = {QVariant()};
    printNotesBuilt = true;
}

void PrintList(bool bPreview, ListView* list, const QString& title) {
    if (!mayPrint()) return;
    if (list && !ConfirmLongAction(list->rowCount(), kLongPrintRows, QStringLiteral("全部打印"))) return;
    ReportAndGoOn([&] {
        InitPrintNotes();
        ListPrinter& component = printer();
        component.SetListView(list);
        component.SetMode(ListPrinter::RuledMode);
        component.SetPreview(bPreview);
        component.SetTitle(title);
        // A list read on demand prints every row it has, not only those in sight.
        component.SetNote(list && list->isVirtual() ? QStringLiteral("共 %1 条").arg(list->rowCount())
                                                    : QString());
        component.SetPageNotes(gPageNotesA, gPageNotesB);
        if (gOperator == kAdministrator) component.SetAdminMode(true);
        if (!component.LoadList()) return;
        component.Execute(gPrintSetup, title);
        if (bPreview)
            recordOutput(AuditLog::kPrint, title, component.rowCount(), QStringLiteral("预览"));
        else if (component.PrintOut(1))
            recordOutput(AuditLog::kPrint, title, component.rowCount(), component.printedTo());
    });
}

void PrintRows(bool bPreview, const QStringList& headers, int rowCount, const ListRowReader& read,
               const QString& title, int mode) {
    if (!mayPrint()) return;
    ReportAndGoOn([&] {
        InitPrintNotes();
        ListPrinter& component = printer();
        component.SetMode(mode == 0 ? ListPrinter::RuledMode : mode);
        if (gOperator == kAdministrator) component.SetAdminMode(true);
        component.SetPreview(bPreview);
        component.SetTitle(title);
        component.SetPageNotes(gPageNotesA, gPageNotesB);
        if (!component.LoadRows(headers, rowCount, read)) return;
        component.Execute(gPrintSetup, title);
        if (bPreview)
            recordOutput(AuditLog::kPrint, title, component.rowCount(), QStringLiteral("预览"));
        else if (component.PrintOut(1))
            recordOutput(AuditLog::kPrint, title, component.rowCount(), component.printedTo());
    });
}

void ExportList(ListView* list, const QString& title) {
    if (!mayPrint()) return;
    if (list && !ConfirmLongAction(list->rowCount(), kLongListRows, QStringLiteral("全部导出"))) return;
    ListExporter exporter;
    exporter.SetExportList(list);
    exporter.SetHelpText(QStringLiteral("如有问题，请与程序开发商联系!"));
    const QString written = exporter.RunExport(ListExporter::ExcelWorkbook, ExportPath(), title);
    if (!written.isEmpty())
        recordOutput(AuditLog::kExport, title, list ? list->rowCount() : 0,
                     QStringLiteral("文件 ") + written);
}

void PreviewPages(QPrinter& printer, const std::function<void(QPrinter*)>& paint, const QString& title,
                  int rows, QWidget* parent) {
    if (!mayPrint()) return;
    ShowPrintPreview(printer, paint, parent);
    recordOutput(AuditLog::kPrint, title, rows, QStringLiteral("预览"));
}

void PrintPages(QPrinter& printer, const std::function<void(QPrinter*)>& paint, const QString& title,
                int rows, QWidget* parent) {
    if (!mayPrint() || !ShowPrinter(printer, parent)) return;
    paint(&printer);
    recordOutput(AuditLog::kPrint, title, rows, PrintDestination(printer));
}
