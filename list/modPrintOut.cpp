#include "modPrintOut.h"

#include "basGlobal.h"
#include "DataFolder.h"
#include "ErrorTraps.h"
#include "ListExporter.h"
#include "ListPrinter.h"
#include "ListView.h"
#include "ModSql.h"

#include <QDate>

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

} // namespace

void InitPrintNotes() {
    if (printNotesBuilt) return;
    gPageNotesA = {QVariant(), QDate::currentDate(), QString()};
    gPageNotesB = {QVariant()};
    printNotesBuilt = true;
}

void PrintList(bool bPreview, ListView* list, const QString& title) {
    ReportAndGoOn([&] {
        InitPrintNotes();
        ListPrinter& component = printer();
        component.SetListView(list);
        component.SetMode(ListPrinter::RuledMode);
        component.SetPreview(bPreview);
        component.SetTitle(title);
        component.SetNote(list ? list->countNote() : QString());
        component.SetPageNotes(gPageNotesA, gPageNotesB);
        if (gOperator == kAdministrator) component.SetAdminMode(true);
        if (!component.LoadList()) return;
        component.Execute(gPrintSetup, title);
        if (!bPreview) component.PrintOut(1);
    });
}

void PrintRows(bool bPreview, const QStringList& headers, const QStringList& cells, const QString& title, int mode) {
    ReportAndGoOn([&] {
        InitPrintNotes();
        ListPrinter& component = printer();
        component.SetMode(mode == 0 ? ListPrinter::RuledMode : mode);
        if (gOperator == kAdministrator) component.SetAdminMode(true);
        component.SetPreview(bPreview);
        component.SetTitle(title);
        component.SetPageNotes(gPageNotesA, gPageNotesB);
        if (!component.LoadRows(headers, cells)) return;
        component.Execute(gPrintSetup, title);
        if (!bPreview) component.PrintOut(1);
    });
}

void ExportList(ListView* list, const QString& title) {
    ListExporter exporter;
    exporter.SetExportList(list);
    exporter.SetHelpText(QStringLiteral("如有问题，请与程序开发商联系!"));
    exporter.RunExport(ListExporter::ExcelWorkbook, ExportPath(), title);
}
