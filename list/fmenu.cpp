#include "fmenu.h"

#include "basGlobal.h"
#include "ErrorTraps.h"
#include "fPView.h"

#include <QPointer>

namespace {
QPointer<fmenu> theInstance;
} // namespace

fmenu* fmenu::instance() {
    if (!theInstance) theInstance = new fmenu;
    return theInstance;
}

fmenu::fmenu(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("菜单栏"));
}

void fmenu::mnuRerush_Click() {
    auto rs = std::make_shared<Recordset>();
    // A table that cannot be opened is reported, and the list keeps what it shows.
    if (!ReportAndGoOn([&] { rs->Open(gViewTable, gConn, ado::adOpenDynamic, ado::adLockOptimistic); }))
        return;
    fPView* view = fPView::instance();
    view->rName = gViewTable;
    view->doFill(true, rs);
}
