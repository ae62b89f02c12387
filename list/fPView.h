#pragma once
// 列表查看: the one window that shows any record set as a sortable list of any length. The list
// reads its rows through a set of its own opened on the same statement, a block at a time as they
// come into sight; the shown set moves only with the list's current row, so an entry form on it
// follows the row the operator chose.

#include "adodb.h"
#include "ListTable.h"

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
    // Prints or previews (bShow) the selected rows under the title.
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
    // Opens the set the list reads, in the order chosen, and shows its first rows.
    void readRows();
    QList<ListRow> rowsFrom(Recordset& reader, qint64 first, int count) const;
    // Brings the row to the top of the list and makes it current.
    void showFrom(qint64 row);
    // The first row of the page 下一页 and 上一页 move from.
    int pageStart() const;
    // The paging buttons and the count note follow the rows in sight.
    void shownRowsChanged();
    // The record set's cursor stands on the list's current row, as under a bound form.
    void followCurrentRow(int row);
    void setCountLine(const QString& text);
    void makeCurrentList();
    qint64 recordCount() const;
    int pageRows() const;

    Ui::fPView* ui;
    QString m_title;
    float nListNum = 100;
    // The fields shown, in column order, and every field's type.
    QVector<int> m_shownFields;
    QVector<int> m_types;
    // The field a header click ordered the rows by; -1 for the set's own order.
    int m_orderField = -1;
    bool m_descending = false;
    // Its bookmarks are those of rFill; false when a reordered statement gives positions of its own.
    bool m_sameBookmarks = true;
};
