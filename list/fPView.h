#pragma once
// 列表查看: the one window that shows any record set as a paged, sortable list.

#include "adodb.h"

#include <array>
#include <QWidget>

class QLabel;
class QPushButton;
class ListView;
namespace Ui {
class fPView;
}

class fPView : public QWidget {
    Q_OBJECT
public:
    // Created on first use; closing only hides it, so the same window comes back.
    static fPView* instance();
    ~fPView() override;

    // The record set shown. A caller's own set is held, not copied: its cursor moves here.
    RecordsetPtr rFill;
    // What doFill(false, …) opens: a table name or a statement.
    QString rName;
    // Leading "序号" column with row numbers.
    bool bXuHao = false;

    void setStitle(const QString& NewTitle);
    void doFill(bool bR, const RecordsetPtr& R = {});
    void doListFill();
    QString title() const { return m_title; }
    float listNum() const { return nListNum; }

    // Handlers, public so that menus and tests can press them.
    void cmdNext_Click();
    void cmdPre_Click();
    void cmdAll_Click();
    void cmdListCount_Click();
    void cmdListCol_Click();
    void Lvw_ColumnClick(int column);
    void Lvw_DblClick(int row);
    void cmdPrV_Click();
    void cmdPrint_Click();
    void CmdToOut_Click();
    // Prints or previews (bShow) the selected rows of the page under the title.
    void DoSelPrint(bool bShow);

    ListView* Lvw;
    std::array<QLabel*, 3> LblTitle{};
    std::array<QLabel*, 2> lblNUM{};
    QLabel* LblBackColor;
    QPushButton* cmdPrV;
    QPushButton* cmdPrint;
    QPushButton* cmdSet;
    QPushButton* CmdToOut;
    QPushButton* cmdNext;
    QPushButton* cmdPre;
    QPushButton* cmdAll;
    QPushButton* cmdListCount;
    QPushButton* cmdListCol;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    explicit fPView(QWidget* parent = nullptr);
    void BuildColumns();
    void FillPage();
    // Fills the next page from the record the cursor stands on.
    void fillFromCursor();
    // The record set's cursor stands on the list's current row, as under a bound form.
    void followCurrentRow(int row);
    void endPage(bool moreToCome);
    void setCountLine(const QString& text);
    void makeCurrentList();
    void renumberRows();
    qint64 recordCount() const;
    int pageRows() const;

    Ui::fPView* ui;
    QString m_title;
    float nListNum = 100;
    qint64 nMoved = 0;      // records the cursor advanced while the current page was filled
    qint64 m_afterPage = 0; // where the cursor stood when the page was filled; 0 before any page
    float progressStep = 0;
};
