#include "basGlobal.h"

#include <QProgressBar>

QString gOperator;
bool gAutoSize = false;
QString gViewTable;
QPointer<QWidget> gCurList;
QVector<bool> gHideCol;
QString gListOwner;

namespace {
QPointer<QProgressBar> mainBar;
} // namespace

QProgressBar* Prb() {
    if (!mainBar) {
        static QProgressBar* detached = [] {
            auto* bar = new QProgressBar;
            bar->setRange(0, 1000);
            bar->hide();
            return bar;
        }();
        return detached;
    }
    return mainBar;
}

void setPrb(QProgressBar* bar) {
    mainBar = bar;
}

bool isColumnHidden(int fieldIndex) {
    return fieldIndex >= 0 && fieldIndex < gHideCol.size() && gHideCol[fieldIndex];
}

void resetHiddenColumns(int last) {
    gHideCol = QVector<bool>(qMax(0, last + 1), false);
}
