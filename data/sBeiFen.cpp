#include "sBeiFen.h"

#include "basGlobal.h"
#include "dialogs.h"
#include "FileCopy.h"
#include "LegacyFile.h"
#include "ModSql.h"
#include "StartUpHost.h"
#include "ui_sBeiFen.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStorageInfo>
#include <QStyle>
#include <QUuid>

namespace {

const QString kBackupName = QStringLiteral("MoLianBackUp.Mdb");
const QString kContact = QStringLiteral("如有问题，请与程序开发商联系!");

// Compacts a copy of the database into the backup file; an error text, empty on success.
QString compactInto(const QString& source, const QString& target) {
    const QString name = QStringLiteral("compact-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(source);
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            QSqlQuery vacuum(db);
            vacuum.prepare(QStringLiteral("VACUUM INTO ?"));
            vacuum.addBindValue(target);
            if (!vacuum.exec()) error = vacuum.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

bool samePath(const QString& a, const QString& b) {
    const QFileInfo left(a), right(b);
    if (left.exists() && right.exists()) return left.canonicalFilePath() == right.canonicalFilePath();
    return QDir::cleanPath(left.absoluteFilePath()).toUpper() ==
           QDir::cleanPath(right.absoluteFilePath()).toUpper();
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

    connect(ui->Dir1->selectionModel(), &QItemSelectionModel::currentChanged, this, &sBeiFen::DoSub);
    connect(ui->Drive1, &QComboBox::activated, this, &sBeiFen::Drive1_Change);
    connect(ui->CmdAdd, &QPushButton::clicked, this, &sBeiFen::CmdAdd_Click);
    connect(ui->CmdCanCel, &QPushButton::clicked, this, &QDialog::reject);
}

sBeiFen::~sBeiFen() {
    delete ui;
}

QString sBeiFen::backupTarget(const QString& folder) {
    // Joined without doubling the separator, also at the root of a drive.
    return QDir(folder).filePath(kBackupName);
}

QString sBeiFen::dirPath() const {
    return m_dirs->filePath(ui->Dir1->currentIndex());
}

void sBeiFen::setDirPath(const QString& path) {
    if (!QFileInfo(path).isDir()) return;
    const QModelIndex index = m_dirs->index(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    ui->Dir1->setCurrentIndex(index);
    ui->Dir1->scrollTo(index);
}

void sBeiFen::setStartPath(const QString& path) {
    ui->LblPath->setText(path);
    setDirPath(path);
}

void sBeiFen::DoSub() {
    const QString dir = dirPath();
    if (m_backup) {
        ui->LblPath->setText(dir);
        ui->CmdAdd->setEnabled(true);
        return;
    }
    const QString found = backupTarget(dir);
    if (!dir.isEmpty() && FileExists(found)) {
        ui->CmdAdd->setEnabled(true);
        ui->Label3->setText(QStringLiteral("找到文件在下列路径中:"));
        ui->LblPath->setText(found);
    } else {
        ui->Label3->setText(QStringLiteral("当前路径无待恢复数据!"));
        ui->CmdAdd->setEnabled(false);
        ui->LblPath->clear();
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

void sBeiFen::showFileError(const QString& description, bool writeProtected) {
    MsgBox((writeProtected ? QStringLiteral("数据已被写保护!确认没有其它用户打开原有数据!") : description) +
               kContact,
           vb::Critical);
}

void sBeiFen::backUp() {
    if (gConn.State() == ado::adStateOpen) {
        gConn.Close();
        m_connectionClosed = true;
    }
    const QString target = backupTarget(ui->LblPath->text());
    if (samePath(target, gDbPath)) {
        MsgBox(QStringLiteral("当前账套数据与备份数据存放目录相同!"), vb::Exclamation);
        return;
    }
    if (QFileInfo::exists(target)) {
        const int answer = MsgBox(QStringLiteral("当前目录 ' ") + ui->LblPath->text() +
                                      QStringLiteral(" ' 已有目标数据!覆盖吗?"),
                                  vb::YesNo | vb::Question);
        if (answer != vb::Yes) return;
        QFile old(target);
        if (!old.remove()) {
            showFileError(old.errorString(), !QFileInfo(QFileInfo(target).absolutePath()).isWritable());
            return;
        }
    }
    const QString temporary =
        AppPath() + QDate::currentDate().toString(QStringLiteral("yyMMdd")) + QStringLiteral(".dat");
    if (QFileInfo::exists(temporary) && !QFile::remove(temporary)) {
        showFileError(QStringLiteral("不能删除临时文件 %1。").arg(temporary), true);
        return;
    }
    QString error;
    if (CopyWithProgress(gDbPath, temporary, this, &error) != CopyResult::Copied) {
        MsgBox(QStringLiteral("取消备份操作到：") + target, vb::Exclamation);
    } else {
        error = compactInto(temporary, target);
        if (!error.isEmpty()) {
            QFile::remove(temporary);
            QFile::remove(target); // never leave a half-written backup behind
            showFileError(error, false);
            return;
        }
        MsgBox(QStringLiteral("备份数据：") + target + QStringLiteral("成功!"), vb::Information);
    }
    QFile::remove(temporary);
    endProgram();
}

void sBeiFen::restore() {
    const QString backup = ui->LblPath->text();
    if (samePath(gDbPath, backup)) {
        MsgBox(QStringLiteral("当前账套数据与备份数据存放目录相同!"), vb::Exclamation);
        return;
    }
    // An old Access backup would leave a database this program cannot open: it is imported instead.
    const QString legacy = jetFileMessage(backup);
    if (!legacy.isEmpty()) {
        MsgBox(legacy, vb::Exclamation);
        return;
    }
    bool copied = false;
    if (!QFileInfo::exists(gDbPath) ||
        MsgBox(QStringLiteral("文件 '") + gDbPath + QStringLiteral("' 已经存在，要用备份数据替换它吗?"),
               vb::YesNo | vb::Question) == vb::Yes)
        copied = CopyWithProgress(backup, gDbPath, this) == CopyResult::Copied;
    if (copied)
        MsgBox(QStringLiteral("从:") + backup + QStringLiteral("恢复数据成功!请重新启动系统！"),
               vb::Information);
    else
        MsgBox(QStringLiteral("取消恢复数据操作到：") + gDbPath, vb::Exclamation);
    endProgram();
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
