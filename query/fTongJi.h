#pragma once
// 统计: counts per register by year of issue, trade, level, education, sex and the reviews and
// renewals due per month, as a table and a chart that print together and export like any list.

#include "Statistics.h"

#include <QWidget>

class ListView;
class QChart;
class QChartView;
class QPrinter;
namespace Ui {
class fTongJi;
}

class fTongJi : public QWidget {
    Q_OBJECT
public:
    // Created on first use; closing the window discards it.
    static fTongJi* instance();
    ~fTongJi() override;

    // Counts the dimension and shows it.
    void showDimension(StatDimension dimension);
    const StatTable& table() const { return m_table; }
    ListView* resultList() const;
    QChart* chart() const;

    void cmdPrV_Click();
    void cmdPrint_Click();
    void CmdToOut_Click();
    void cmdClose_Click();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    explicit fTongJi(QWidget* parent = nullptr);
    void cboXiangMu_Click(int index);
    void fillList();
    void buildChart();
    // The heading, the table and the chart on one page.
    void paint(QPrinter* printer);

    Ui::fTongJi* ui;
    QChartView* m_chartView = nullptr;
    StatTable m_table;
};
