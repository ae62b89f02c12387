#pragma once
// 批量导入照片: a folder of ID photos, each named by identity number or key, onto the records of
// one register; stored photos stay unless the operator asks to replace them.

#include <memory>
#include <QDialog>

namespace Ui {
class fZhaoPianDaoRu;
}

class fZhaoPianDaoRu : public QDialog {
    Q_OBJECT

public:
    explicit fZhaoPianDaoRu(QWidget* parent = nullptr);
    ~fZhaoPianDaoRu() override;

    void setRegister(const QString& table);
    void setFolder(const QString& folder);
    QString reportText() const;

public slots:
    void cmdBrowse_Click();
    void cmdImport_Click();

private:
    std::unique_ptr<Ui::fZhaoPianDaoRu> ui;
};
