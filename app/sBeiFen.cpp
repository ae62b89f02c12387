#include "sBeiFen.h"

#include "basGlobal.h"
#include "dialogs.h"
#include "LegacyFile.h"
#include "OperatorAccess.h"
#include "ModSql.h"
#include "Passwords.h"
#include "ServerBackup.h"
#include "StartUpHost.h"
#include "ui_sBeiFen.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QProgressDialog>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>

namespace {

const QString kContact = QStringLiteral("如有问题，请与程序开发商联系!");

int iconFor(BackupStatus status) {
    switch (status) {
    case BackupStatus::Done:
        return vb::Information;
    case BackupStatus::Cancelled:
    case BackupStatus::Refused:
        return vb::Exclamation;
    case BackupStatus::WrongPassword:
    case BackupStatus::Failed:
        break;
    }
    return vb::Critical;
}

} // namespace

sBeiFen::sBeiFen(StartUpHost* host, bool backup, QWidget* parent)
    : QDialog(parent), ui(new Ui::sBeiFen), m_host(host), m_backup(backup),
      m_dirs(new QFileSystemModel(this)) {
    ui->setupUi(this);
    m_dirs->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_dirs->setRootPath(QDir::rootPath());
    ui->Dir1->setModel(m_dirs);
    for (int column = 1; column < m_dirs->columnCount(); ++column)
        ui->Dir1->hideColumn(column);
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady()) ui->Drive1->addItem(volume.rootPath());
    ui->ImgTip->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    // The two modes differ in caption, width and where the folder controls stand.
    const int folderLeft = m_backup ? 18 : 129;
    setWindowTitle(m_backup ? QStringLiteral("数据备份") : QStringLiteral("恢复数据"));
    setFixedSize(m_backup ? 365 : 470, height());
    ui->Lbl->setText(m_backup ? QStringLiteral("数据存放目录:") : QStringLiteral("查找要替换的数据:"));
    ui->Label3->setText(m_backup ? QStringLiteral("数据路径:") : QString());
    for (QWidget* w :
         {static_cast<QWidget*>(ui->Lbl), static_cast<QWidget*>(ui->LblPath), static_cast<QWidget*>(ui->Dir1),
          static_cast<QWidget*>(ui->Drive1), static_cast<QWidget*>(ui->Label3)})
        w->move(folderLeft, w->y());
    ui->Dir1->resize(width() - folderLeft - 18, ui->Dir1->height());
    ui->CmdAdd->move(m_backup ? 171 : 285, ui->CmdAdd->y());
    ui->CmdCanCel->move(m_backup ? 263 : 377, ui->CmdCanCel->y());
    ui->LblTip->setVisible(!m_backup);
    ui->ImgTip->setVisible(!m_backup);
    ui->LblMiMa->move(folderLeft, ui->LblMiMa->y());
    // On the server the backup password is the server's: set there by the administrator.
    ui->CmdMiMa->setVisible(m_backup && !gUseSqlServer);
    ui->CmdMiMa->setEnabled(gOperator == kAdministrator);
    if (!ui->CmdMiMa->isEnabled()) ui->CmdMiMa->setToolTip(QStringLiteral("只有管理员可以设置备份密码。"));
    if (m_backup) showPasswordState();

    connect(ui->Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this, &sBeiFen::DoSub);
    connect(ui->Drive1, &QComboBox::activated, this, &sBeiFen::Drive1_Change);
    connect(ui->CmdAdd, &QPushButton::clicked, this, &sBeiFen::CmdAdd_Click);
    connect(ui->CmdMiMa, &QPushButton::clicked, this, &sBeiFen::CmdMiMa_Click);
    // The folder model fills and sorts in the background: bring the chosen folder into view once
    // its parents have arrived, then leave the scrolling to the operator.
    connect(m_dirs, &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
        if (!m_keepChosenInView) return;
        const QString folder = loaded.endsWith(QLatin1Char('/')) ? loaded : loaded + QLatin1Char('/');
        if (!(dirPath() + QLatin1Char('/')).startsWith(folder)) return;
        if (QFileInfo(dirPath()).absolutePath() == QFileInfo(loaded).absoluteFilePath())
            m_keepChosenInView = false;
        QTimer::singleShot(100, this, &sBeiFen::scrollToChosenFolder);
    });
    connect(ui->CmdCanCel, &QPushButton::clicked, this, &QDialog::reject);
}

sBeiFen::~sBeiFen() {
    delete ui;
}

QString sBeiFen::dirPath() const {
    return m_dirs->filePath(ui->Dir1->currentIndex());
}

void sBeiFen::setDirPath(const QString& path) {
    if (!QFileInfo(path).isDir()) return;
    const QModelIndex index = m_dirs->index(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    ui->Dir1->setCurrentIndex(index);
    m_keepChosenInView = true;
    scrollToChosenFolder();
}

void sBeiFen::scrollToChosenFolder() {
    const QModelIndex index = ui->Dir1->currentIndex();
    if (!index.isValid()) return;
    for (QModelIndex folder = index.parent(); folder.isValid(); folder = folder.parent())
        ui->Dir1->expand(folder);
    ui->Dir1->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void sBeiFen::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    scrollToChosenFolder();
}

void sBeiFen::setStartPath(const QString& path) {
    const QFileInfo start(path);
    setDirPath(start.isDir() ? start.absoluteFilePath() : start.absolutePath());
    DoSub();
}

void sBeiFen::DoSub() {
    const QString dir = dirPath();
    if (m_backup) {
        ui->LblPath->setText(dir);
        ui->CmdAdd->setEnabled(true);
        return;
    }
    const QString found = backupFilePath(dir);
    if (!dir.isEmpty() && FileExists(found)) {
        ui->CmdAdd->setEnabled(true);
        ui->Label3->setText(QStringLiteral("找到文件在下列路径中:"));
        ui->LblPath->setText(found);
        ui->LblMiMa->setText(
            isSealedBackup(found) ? QStringLiteral("此备份数据已加密，恢复时要输入备份密码。") : QString());
    } else {
        ui->Label3->setText(QStringLiteral("当前路径无待恢复数据!"));
        ui->CmdAdd->setEnabled(false);
        ui->LblPath->clear();
        ui->LblMiMa->clear();
    }
}

void sBeiFen::Drive1_Change() {
    for (;;) {
        const QString drive = ui->Drive1->currentText();
        if (QFileInfo(drive).isDir() && QFileInfo(drive).isReadable()) {
            setDirPath(drive);
            DoSub();
            return;
        }
        const int answer =
            MsgBox(QStringLiteral("驱动器 %1 没有准备好。").arg(drive), vb::RetryCancel | vb::Critical);
        if (answer != vb::Retry) {
            // Back to the drive of the folder shown.
            for (int i = 0; i < ui->Drive1->count(); ++i)
                if (dirPath().startsWith(ui->Drive1->itemText(i))) ui->Drive1->setCurrentIndex(i);
            return;
        }
    }
}

void sBeiFen::CmdAdd_Click() {
    if (m_backup)
        backUp();
    else
        restore();
}

BackupResult sBeiFen::withProgress(const std::function<BackupResult(const ProgressStep&)>& work) {
    QProgressDialog progress(m_backup ? QStringLiteral("正在备份数据...") : QStringLiteral("正在恢复数据..."),
                             QStringLiteral("取消"), 0, 1000, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    return work([&](int permille) {
        progress.setValue(permille);
        return !progress.wasCanceled();
    });
}

void sBeiFen::conclude(const BackupResult& result) {
    MsgBox(result.message, iconFor(result.status));
    if (result.status == BackupStatus::Done || result.status == BackupStatus::Cancelled) endProgram();
}

QString sBeiFen::storedPasswordHash() const {
    return gUseSqlServer ? serverBackupPasswordHash(libpqFromConnectionString(gConnStr))
                         : backupPasswordHash(gDbPath);
}

void sBeiFen::showPasswordState() {
    const QString where =
        gUseSqlServer ? QStringLiteral("PostgreSQL 备份，") : QString();
    ui->LblMiMa->setText(where + (storedPasswordHash().isEmpty()
                                      ? QStringLiteral("未设置备份密码，备份数据不加密。")
                                      : QStringLiteral("已设置备份密码，备份数据将加密。")));
}

std::optional<QString> sBeiFen::askBackupPassword() {
    if (storedPasswordHash().isEmpty()) return QString();
    return PasswordBox(QStringLiteral("请输入备份密码："));
}

void sBeiFen::backUpServer() {
    // Each server backup has a dated name of its own: nothing in the folder is overwritten.
    const QString folder = ui->LblPath->text();
    const auto password = askBackupPassword();
    if (!password) return;
    const QString server = libpqFromConnectionString(gConnStr);
    conclude(withProgress([&](const ProgressStep& progress) {
        return backUpServerDatabase(server, folder, *password, 0, progress);
    }));
}

void sBeiFen::backUp() {
    if (gUseSqlServer) {
        backUpServer();
        return;
    }
    if (gConn.State() == ado::adStateOpen) {
        gConn.Close();
        m_connectionClosed = true;
    }
    const QString folder = ui->LblPath->text();
    const QString target = backupFilePath(folder);
    if (const auto refusal = sameFileRefusal(target, gDbPath)) {
        conclude(*refusal);
        return;
    }
    const auto password = askBackupPassword();
    if (!password) return;
    // The earlier backup is replaced only once the new one has been checked.
    if (QFileInfo::exists(target) &&
        MsgBox(QStringLiteral("当前目录 ' ") + folder + QStringLiteral(" ' 已有目标数据!覆盖吗?"),
               vb::YesNo | vb::Question) != vb::Yes)
        return;
    conclude(withProgress(
        [&](const ProgressStep& progress) { return backUpDatabase(gDbPath, folder, *password, progress); }));
}

void sBeiFen::restore() {
    const QString backup = ui->LblPath->text();
    if (const auto refusal = sameFileRefusal(backup, gDbPath)) {
        conclude(*refusal);
        return;
    }
    // An old Access backup would leave a database this program cannot open: it is imported instead.
    const QString legacy = jetFileMessage(backup);
    if (!legacy.isEmpty()) {
        MsgBox(legacy, vb::Exclamation);
        return;
    }
    const BackupResult declined{
        BackupStatus::Cancelled, QStringLiteral("取消恢复数据操作到：") + gDbPath, {}};
    if (QFileInfo::exists(gDbPath) &&
        MsgBox(QStringLiteral("文件 '") + gDbPath + QStringLiteral("' 已经存在，要用备份数据替换它吗?"),
               vb::YesNo | vb::Question) != vb::Yes) {
        conclude(declined);
        return;
    }
    if (QFileInfo::exists(gDbPath) && !administratorAgrees()) return;
    QString password;
    if (isSealedBackup(backup)) {
        const auto typed = PasswordBox(QStringLiteral("此备份数据已加密，请输入备份密码："));
        if (!typed) {
            conclude(declined);
            return;
        }
        password = *typed;
    }
    conclude(withProgress(
        [&](const ProgressStep& progress) { return restoreDatabase(backup, gDbPath, password, progress); }));
}

// Nobody has logged in yet: the database being replaced is its own administrator's to give away.
bool sBeiFen::administratorAgrees() {
    const auto typed = PasswordBox(QStringLiteral("恢复数据将替换现有数据，请输入现有数据中管理员的密码："));
    if (!typed) return false;
    const QString refusal = authenticateAdministratorOfFile(gDbPath, *typed, QStringLiteral("恢复数据"));
    if (refusal.isEmpty()) return true;
    Beep();
    MsgBox(refusal + QStringLiteral("\n现有数据没有改变。"), vb::Critical);
    return false;
}

void sBeiFen::CmdMiMa_Click() {
    const QString stored = backupPasswordHash(gDbPath);
    if (!stored.isEmpty()) {
        const auto current = PasswordBox(QStringLiteral("请输入现有的备份密码："));
        if (!current) return;
        if (!passwordMatches(stored, *current)) {
            MsgBox(QStringLiteral("备份密码不正确!"), vb::Critical);
            return;
        }
    }
    const auto chosen = PasswordBox(QStringLiteral("请输入新的备份密码（不输入则以后的备份不加密）："));
    if (!chosen) return;
    if (!chosen->isEmpty()) {
        const auto again = PasswordBox(QStringLiteral("请再输入一次新的备份密码："));
        if (!again) return;
        if (*again != *chosen) {
            MsgBox(QStringLiteral("两次输入的密码不一致，备份密码没有改变。"), vb::Exclamation);
            return;
        }
    }
    const QString error = setBackupPassword(gDbPath, *chosen);
    if (!error.isEmpty()) {
        MsgBox(error, vb::Critical);
        return;
    }
    MsgBox(chosen->isEmpty() ? QStringLiteral("备份密码已取消，以后的备份不再加密。")
                             : QStringLiteral("备份密码已设置，以后的备份都将加密。"),
           vb::Information);
    showPasswordState();
}

void sBeiFen::endProgram() {
    m_ending = true;
    if (m_host) m_host->bUnload = true;
    accept();
}

void sBeiFen::done(int result) {
    // A backup abandoned after the connection was closed goes on with the connection reopened.
    if (m_connectionClosed && !m_ending) {
        try {
            gConn.Open(gConnStr);
        } catch (const DbError& error) {
            MsgBox(error.description + kContact, vb::Critical);
        }
    }
    QDialog::done(result);
}
