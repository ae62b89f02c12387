#pragma once
// 批量导入: a class roster from a spreadsheet into one register. The operator sees how the file's
// columns map to the register's fields and may change that, sees every problem cell marked with
// its reason, decides once about people already stored, and imports the good rows.

#include "RosterImport.h"

#include <array>
#include <memory>
#include <QDialog>

class QRadioButton;

namespace Ui {
class fPiLiangDaoRu;
}

class fPiLiangDaoRu : public QDialog {
    Q_OBJECT

public:
    explicit fPiLiangDaoRu(QWidget* parent = nullptr);
    ~fPiLiangDaoRu() override;

    void setRegister(const QString& table);
    void setFile(const QString& path);
    QString reportText() const;

public slots:
    void cmdBrowse_Click();
    void cmdAddOptions_Click();
    void cmdImport_Click();

private:
    QString table() const;
    void loadFile();
    void fillMapping();
    void mappingChosen(int row, const QString& column);
    void recheck();
    void fillPreview();

    std::unique_ptr<Ui::fPiLiangDaoRu> ui;
    std::array<QRadioButton*, 3> optExisting{};
    Roster m_roster;
    RosterCheck m_check;
};
