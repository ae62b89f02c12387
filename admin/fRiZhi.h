#pragma once
// 操作日志: the audit trail, newest first, filtered by date range, operator, table and key, and
// handed to the list window for print and export.

#include "AuditQuery.h"

#include <QWidget>

class ListView;
namespace Ui {
class fRiZhi;
}

class fRiZhi : public QWidget {
    Q_OBJECT
public:
    // More rows than this go straight to the list window, a page at a time.
    static constexpr qint64 kOwnListLimit = 1000;
    static inline const QString kTitle = QStringLiteral("操作日志");

    // Created on first use; closing the window discards it.
    static fRiZhi* instance();
    ~fRiZhi() override;

    AuditFilter currentFilter() const;
    ListView* resultList() const;

    void cmdFind_Click();
    void cmdView_Click();
    // Walks the trail's chain and tells whether it is whole, or where it breaks.
    void cmdVerify_Click();
    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit fRiZhi(QWidget* parent = nullptr);
    void loadOperators();

    Ui::fRiZhi* ui;
    RecordsetPtr m_result;
};
