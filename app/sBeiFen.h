#pragma once
// Backing up the database (the local file, or the database on the server) into a chosen folder, or
// restoring the local file from such a backup. Both end
// the program once the backup or restore has been done or cancelled, so the next start works on a
// consistent file; a refused or failed attempt leaves the form open and the files as they were.

#include "Backup.h"

#include <optional>
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
    // Opens on `path`: a folder, or the folder holding a file such as the database.
    void setStartPath(const QString& path);
    // Refreshes the labels and the OK button from the folder chosen in the directory list.
    void DoSub();
    QString dirPath() const;
    void setDirPath(const QString& path);

public slots:
    void CmdAdd_Click();
    // Sets, changes or clears the backup password (the administrator only).
    void CmdMiMa_Click();

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    void Drive1_Change();
    void backUp();
    void backUpServer();
    // The backup password where one is set, empty where none is; nullopt when the operator cancelled.
    std::optional<QString> askBackupPassword();
    QString storedPasswordHash() const;
    void restore();
    // Asks for the administrator's password of the database a restore replaces.
    bool administratorAgrees();
    // Runs a backup or restore under a cancellable progress display.
    BackupResult withProgress(const std::function<BackupResult(const ProgressStep&)>& work);
    // Tells the result; a finished or cancelled attempt ends the program.
    void conclude(const BackupResult& result);
    void showPasswordState();
    void scrollToChosenFolder();
    void endProgram();

    Ui::sBeiFen* ui;
    StartUpHost* m_host;
    bool m_backup;
    bool m_connectionClosed = false;
    bool m_ending = false;
    bool m_keepChosenInView = false;
    QFileSystemModel* m_dirs;
};
