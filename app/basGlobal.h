#pragma once
// Globals the windows share, declared once, beside the run's database and status panel.

#include "DatabaseGlobals.h"
#include "StatusPanel.h"

#include <QPointer>
#include <QString>
#include <QVector>

class QProgressBar;
class QWidget;

extern QString gOperator;
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
