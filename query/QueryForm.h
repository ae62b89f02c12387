#pragma once
// What the three query windows share: criteria turned into one statement, the result shown in the
// window's own list or handed to the list window, clearing, the large view and the double-click
// into the entry form. Each window is its .ui form plus a QueryDescription.

#include "adodb.h"

#include <QDate>
#include <QStringList>
#include <QVector>
#include <QWidget>

class QAbstractButton;
class QDateEdit;
class EntryForm;
class ListView;

struct QueryCriterion {
    QString control; // a text box or a combo box
    QString column;
    bool contains; // matched anywhere inside the column; otherwise matched exactly
};

struct QueryDateRange {
    QString checkBox;
    QString fromPicker;
    QString toPicker;
    QString column;
};

struct QueryOptionList {
    QString combo;
    QString leixing; // category of table List whose contents fill the combo
};

struct QueryDescription {
    QString table; // also what the list window's refresh reopens
    QString selectList = QStringLiteral("*");
    QString keyColumn;
    QString keyBox = QStringLiteral("txtBanHao");
    QString nameBox = QStringLiteral("txtMingCheng"); // Enter in either box clears the other
    QVector<QueryCriterion> criteria;                 // after the key, in the statement's order
    QVector<QueryDateRange> ranges;                   // in the statement's order
    QString orderBy;
    QString listTag;          // the own list's print and export title
    QString largeResultTitle; // the list window's title for more than 1000 records
    QStringList todayAtLoad;
    QStringList clearedBoxes;   // text and combo boxes emptied by 清空查找条件
    QStringList clearedToStart; // pickers set back to the first design date
    QStringList clearedToToday;
    QVector<QueryOptionList> optionLists;
};

class QueryForm : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 kOwnListLimit = 1000;
    static QDate designStartDate() { return QDate(2000, 1, 1); }

    // The text of the last search's statement, as the result set's Source gives it.
    QString statementText() const { return m_statementText; }
    // The statement the criteria make now: the recorded text and what is executed.
    Statement buildStatement() const;
    RecordsetPtr result() const { return m_result; }
    ListView* resultList() const { return m_list; }

    void cmdFind_Click();
    void cmdKong_Click();
    void cmdView_Click();
    void cmdClose_Click();
    void LV_DblClick();

protected:
    explicit QueryForm(QWidget* parent = nullptr);
    // Call once the form's controls exist (after setupUi).
    void setUpQuery(QueryDescription description);
    // The register's entry form, loaded when it was not.
    virtual EntryForm* entryForm() = 0;

    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QString controlText(const QString& name) const;
    QString executedSelectList() const;
    void loadOptionLists();
    void showTabPage(int tab);
    // Enter in the key or the name box: the other box is emptied, then the search runs.
    void clearAndFind(const QString& otherBox);

    QueryDescription m_desc;
    ListView* m_list = nullptr;
    QAbstractButton* m_viewButton = nullptr;
    RecordsetPtr m_result;
    QString m_statementText;
};
