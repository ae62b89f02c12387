#pragma once
// 证书到期提醒: the reviews and renewals of all three registers that fall due in a window, handed
// to the list window for print and export, with a notice for each selected person.

#include "DueDates.h"

#include <memory>
#include <QWidget>

class ListView;
namespace Ui {
class fDaoQi;
}

class fDaoQi : public QWidget {
    Q_OBJECT
public:
    // Created on first use; closing the window discards it.
    static fDaoQi* instance();
    ~fDaoQi() override;

    // Chooses a preset window and lists what falls in it.
    void showPreset(DueQuery::Preset preset);
    // The window, registers, dates and order the controls choose now.
    DueQuery currentQuery() const;
    QString title() const { return m_title; }
    // How many rows the list holds, also those not read yet.
    qint64 rowCount() const { return m_pages ? m_pages->count() : 0; }
    ListView* resultList() const;

    void cmdFind_Click();
    // Reads the rows shown again when a change was saved since they were read, keeping the rows
    // chosen; the next action of the window calls it first.
    void refreshIfChanged();
    void cmdView_Click();
    void cmdNotice_Click();
    void cmdClose_Click();
    void LV_DblClick();
    void LV_ColumnClick(int column);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit fDaoQi(QWidget* parent = nullptr);
    DueQuery::Preset preset() const;
    // Lists what falls in the window, reading rows as they come into sight; false when it could not
    // be read (told).
    bool listRows(const DueQuery& query);

    Ui::fDaoQi* ui;
    QString m_title;
    DueQuery m_shown;                  // what the list shows, for the hand-over and the notices
    std::shared_ptr<DuePages> m_pages; // the rows listed
    quint64 m_readAtWrites = 0;        // the connection's committed writes when the rows were read
    int m_orderColumn = DueColumn::Date;
    bool m_descending = false;
};
