#pragma once
// 导入旧数据: an administrator brings an office's old Access database over into the open database,
// sees each table's progress and reads the closing report, which is also saved beside the database.

#include <array>
#include <memory>
#include <QDialog>

class QProgressBar;

namespace Ui {
class fDaoRu;
}

class fDaoRu : public QDialog {
    Q_OBJECT

public:
    explicit fDaoRu(QWidget* parent = nullptr);
    ~fDaoRu() override;

    void setFile(const QString& path);
    QString reportText() const;

public slots:
    void cmdBrowse_Click();
    void cmdImport_Click();

private:
    void showProgress(const QString& table, int done, int total);

    std::unique_ptr<Ui::fDaoRu> ui;
    std::array<QProgressBar*, 5> prbTable{};
};
