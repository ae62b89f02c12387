#include "basGlobal.h"

#include <QLabel>
#include <QProgressBar>

void StatusPanel::setText(const QString& text) {
    m_text = text;
    if (m_label) m_label->setText(text);
}

void StatusPanel::attach(QLabel* label) {
    m_label = label;
    if (m_label) m_label->setText(m_text);
}

Connection gConn;
QString gConnStr;
QString gDbPath;
bool gUseSqlServer = false;
RecordsetPtr gUsersRs;
RecordsetPtr gListRs;
RecordsetPtr gSystemRs;
RecordsetPtr gPrintSetup;
QString gOperator;
StatusPanel gStatusPanel;
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
