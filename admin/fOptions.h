#pragma once
// 选项: the values of the drop-down lists (table List, by category), the main window's title and
// the screen-scaling option.

#include <memory>
#include <QDialog>
#include <QVector>

namespace Ui {
class fOptions;
}

class fOptions : public QDialog {
    Q_OBJECT

public:
    // Created when opened, unloaded when closed, so each opening reads the settings afresh.
    static fOptions* instance();
    ~fOptions() override;

    // Row ids of List, one per line of List1, in the same order.
    const QVector<qint64>& ids() const { return m_ids; }

public slots:
    void cmdAdd_Click();
    void cmdDel_Click();
    void cmdAllDel_Click();
    void List1_Click();
    void cmdOk_Click();
    void cmdCancel_Click();

private:
    explicit fOptions(QWidget* parent = nullptr);
    void loadSettings();
    void loadOptions();
    void appendLine(const QString& content, const QString& category, qint64 id);

    std::unique_ptr<Ui::fOptions> ui;
    QVector<qint64> m_ids;
    bool m_viewOnly = false;
};
