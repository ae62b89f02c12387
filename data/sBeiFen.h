#pragma once
// Backing up the local database into a chosen folder, or restoring it from such a backup. Both end
// the program once the copy has been attempted, so the next start works on a consistent file.

#include <QDialog>

class QFileSystemModel;
class StartUpHost;

namespace Ui {
class sBeiFen;
}

class sBeiFen : public QDialog {
    Q_OBJECT

public:
    // `host` learns that the program is to end.
    sBeiFen(StartUpHost* host, bool backup, QWidget* parent = nullptr);
    ~sBeiFen() override;

    bool bBeiFen() const { return m_backup; }
    // Shows `path` as the chosen folder's label text and selects the folder when it is one.
    void setStartPath(const QString& path);
    // Refreshes the labels and the OK button from the folder chosen in the directory list.
    void DoSub();
    QString dirPath() const;
    void setDirPath(const QString& path);

    static QString backupTarget(const QString& folder);

public slots:
    void CmdAdd_Click();

protected:
    void done(int result) override;

private:
    void Drive1_Change();
    void backUp();
    void restore();
    void endProgram();
    void showFileError(const QString& description, bool writeProtected);

    Ui::sBeiFen* ui;
    StartUpHost* m_host;
    bool m_backup;
    bool m_connectionClosed = false;
    bool m_ending = false;
    QFileSystemModel* m_dirs;
};
