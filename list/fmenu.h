#pragma once
// 菜单栏: never shown; it carries the popup menu of every list, which acts on gCurList.

#include <QMainWindow>

class QAction;
class QMenu;
class ListView;
namespace Ui {
class fmenu;
}

class fmenu : public QMainWindow {
    Q_OBJECT
public:
    static fmenu* instance();
    ~fmenu() override;

    // Sets the view style of gCurList (0 large icons, 1 small icons, 2 list, 3 report).
    void LtmView(int lvView);
    // Reopens the table named by gViewTable in the list window, under the list window's title.
    void mnuRerush_Click();
    // Pops the menu up at a screen position; it acts on gCurList, set by the list beforehand.
    void popUpAt(const QPoint& globalPos);

    QMenu* MnuPopMenu;
    QAction* mnuLargeView;
    QAction* mnuSmallView;
    QAction* mnuList;
    QAction* mnuReport;
    QAction* mnuMuliSel;
    QAction* mnuGridLines;
    QAction* mnuPreView;
    QAction* mnuPrint;
    QAction* mnuOut;
    QAction* mnuRerush;

private:
    explicit fmenu(QWidget* parent = nullptr);
    void mnuMuliSel_Click();
    void mnuGridLines_Click();
    void mnuPreView_Click();
    void mnuPrint_Click();
    void mnuOut_Click();

    Ui::fmenu* ui;
};

// The list the popup menu acts on; null when gCurList is not a list.
ListView* currentList();
