#include "fmenu.h"
#include "ui_fmenu.h"

#include "basGlobal.h"
#include "ErrorTraps.h"
#include "fPView.h"
#include "ListView.h"
#include "modPrintOut.h"
#include "RegisterCatalog.h"

#include <QPointer>

namespace {
QPointer<fmenu> theInstance;
} // namespace

ListView* currentList() {
    return qobject_cast<ListView*>(gCurList.data());
}

fmenu* fmenu::instance() {
    if (!theInstance) theInstance = new fmenu;
    return theInstance;
}

fmenu::fmenu(QWidget* parent) : QMainWindow(parent), ui(new Ui::fmenu) {
    ui->setupUi(this);
    MnuPopMenu = ui->MnuPopMenu;
    mnuLargeView = ui->mnuLargeView;
    mnuSmallView = ui->mnuSmallView;
    mnuList = ui->mnuList;
    mnuReport = ui->mnuReport;
    mnuMuliSel = ui->mnuMuliSel;
    mnuGridLines = ui->mnuGridLines;
    mnuPreView = ui->mnuPreView;
    mnuPrint = ui->mnuPrint;
    mnuOut = ui->mnuOut;
    mnuRerush = ui->mnuRerush;

    connect(mnuLargeView, &QAction::triggered, this, [this] { LtmView(ListView::LargeIcons); });
    connect(mnuSmallView, &QAction::triggered, this, [this] { LtmView(ListView::SmallIcons); });
    connect(mnuList, &QAction::triggered, this, [this] { LtmView(ListView::List); });
    connect(mnuReport, &QAction::triggered, this, [this] { LtmView(ListView::Report); });
    connect(mnuMuliSel, &QAction::triggered, this, &fmenu::mnuMuliSel_Click);
    connect(mnuGridLines, &QAction::triggered, this, &fmenu::mnuGridLines_Click);
    connect(mnuPreView, &QAction::triggered, this, &fmenu::mnuPreView_Click);
    connect(mnuPrint, &QAction::triggered, this, &fmenu::mnuPrint_Click);
    connect(mnuOut, &QAction::triggered, this, &fmenu::mnuOut_Click);
    connect(mnuRerush, &QAction::triggered, this, &fmenu::mnuRerush_Click);
}

fmenu::~fmenu() {
    delete ui;
}

void fmenu::popUpAt(const QPoint& globalPos) {
    MnuPopMenu->popup(globalPos);
}

void fmenu::LtmView(int lvView) {
    if (ListView* list = currentList()) list->setView(lvView);
}

// The check mark has already been toggled by the menu; the list follows it.
void fmenu::mnuMuliSel_Click() {
    if (ListView* list = currentList()) list->setMultiSelect(mnuMuliSel->isChecked());
}

void fmenu::mnuGridLines_Click() {
    if (ListView* list = currentList()) list->setGridLines(mnuGridLines->isChecked());
}

void fmenu::mnuPreView_Click() {
    ListView* list = currentList();
    if (!list) return;
    list->setCursor(Qt::WaitCursor);
    PrintList(true, list, list->tag());
    list->unsetCursor();
}

void fmenu::mnuPrint_Click() {
    if (ListView* list = currentList()) PrintList(false, list, list->tag());
}

void fmenu::mnuOut_Click() {
    // A failing export is passed over, as the list window's own button does.
    if (ListView* list = currentList()) SkipOnError([&] { ExportList(list, list->tag()); });
}

void fmenu::mnuRerush_Click() {
    auto rs = std::make_shared<Recordset>();
    // A table that cannot be opened is reported, and the list keeps what it shows.
    if (!ReportAndGoOn([&] { rs->Open(gViewTable, gConn, ado::adOpenDynamic, ado::adLockOptimistic); }))
        return;
    fPView* view = fPView::instance();
    // A register's list opened before any title was given carries the register's own.
    if (const RegisterDef* shown = registerOfTable(gViewTable); shown && view->title().isEmpty())
        view->setStitle(shown->listTitle);
    view->rName = gViewTable;
    view->doFill(true, rs);
}
