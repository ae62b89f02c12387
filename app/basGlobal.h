#pragma once
// Globals shared by the whole run, declared once.

#include "adodb.h"

#include <QPointer>
#include <QString>
#include <QVector>

class QLabel;
class QProgressBar;
class QWidget;

// Panel 1 of the main window's status bar. Usable before the main window exists: the text is
// kept and shown once a label is attached.
class StatusPanel {
public:
    void setText(const QString& text);
    QString text() const { return m_text; }
    void attach(QLabel* label);

private:
    QString m_text = QStringLiteral("就绪");
    QPointer<QLabel> m_label;
};

extern Connection gConn;
extern QString gConnStr;
extern QString gDbPath;
extern bool gUseSqlServer;
extern RecordsetPtr gUsersRs;
extern RecordsetPtr gListRs;
extern RecordsetPtr gSystemRs;
extern RecordsetPtr gPrintSetup;
extern QString gOperator;
extern StatusPanel gStatusPanel;
extern bool gAutoSize;
extern QString gViewTable;
extern QPointer<QWidget> gCurList;
extern QVector<bool> gHideCol;
extern QString gListOwner;

// The main window's progress bar `Prb` (0 to 1000); a detached one until the main window exists.
QProgressBar* Prb();
void setPrb(QProgressBar* bar);

// Hidden flag of a field position; positions outside the array count as shown.
bool isColumnHidden(int fieldIndex);
// Resizes gHideCol to positions 0 .. last, all shown.
void resetHiddenColumns(int last);
