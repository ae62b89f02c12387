#include "fHeYanMa.h"
#include "ui_fHeYanMa.h"

#include "basGlobal.h"
#include "basSub.h"
#include "dialogs.h"
#include "ErrorTraps.h"
#include "OperatorAccess.h"
#include "VerifyLabel.h"
#include "VerifyTokens.h"
#include "WidgetDialogs.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>

fHeYanMa* fHeYanMa::showFor(const QString& table, const QString& keyLabel, const QString& key, const QString& name,
                            QWidget* parent) {
    if (verifyHost().isEmpty()) {
        MsgBox(QStringLiteral("请先在 [选项设置] 中填写核验网址（发证机构核验服务的主机名）。"), vb::Exclamation);
        return nullptr;
    }
    QString token;
    if (!ReportAndGoOn([&] { token = currentVerifyToken(gConn, table, key); })) return nullptr;
    auto* form = new fHeYanMa(table, keyLabel, key, name, token, parent);
    form->show();
    return form;
}

fHeYanMa::fHeYanMa(QString table, QString keyLabel, QString key, QString name, QString token, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::fHeYanMa>()), m_table(std::move(table)), m_keyLabel(std::move(keyLabel)),
      m_key(std::move(key)), m_name(std::move(name)), m_token(std::move(token)) {
    ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(ui->cmdPrint, &QPushButton::clicked, this, &fHeYanMa::cmdPrint_Click);
    connect(ui->cmdReissue, &QPushButton::clicked, this, &fHeYanMa::cmdReissue_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &QDialog::close);
    ui->lblRecord->setText(QStringLiteral("%1：%2\n姓名：%3").arg(m_keyLabel, m_key, m_name));
    showCode();
}

fHeYanMa::~fHeYanMa() = default;

QString fHeYanMa::address() const {
    return verifyAddress(verifyHost(), m_token);
}

void fHeYanMa::showCode() {
    ui->txtAddress->setText(address());
    const QrCode code = QrCode::encode(address());
    // Whole pixels per module, so the code shows as even as it prints.
    const int side = code.sizeWithQuietZone();
    const int room = std::min(ui->imgCode->width(), ui->imgCode->height()) - 4;
    QImage image(QSize(side, side) * std::max(1, room / side), QImage::Format_RGB32);
    QPainter painter(&image);
    code.paint(painter, image.rect());
    painter.end();
    ui->imgCode->setPixmap(QPixmap::fromImage(image));
}

void fHeYanMa::cmdPrint_Click() {
    if (!CheckRight(kPrintRight)) return;
    const VerifyLabel label{m_keyLabel, m_key, m_name, address()};
    QPrinter printer(QPrinter::HighResolution);
    label.preparePrinter(printer);
    ShowPrintPreview(printer, [&label](QPrinter* target) { label.paint(target); }, this);
}

void fHeYanMa::cmdReissue_Click() {
    if (!CheckAdministrator(QStringLiteral("重新发码"))) return;
    if (MsgBox(QStringLiteral("重新发码后，原来卡片和标签上的核验码立即失效，须重新打印。是否继续？"),
               vb::YesNo | vb::Question | vb::DefaultButton2) != vb::Yes)
        return;
    ReportAndGoOn([&] {
        m_token = reissueVerifyToken(gConn, m_table, m_key);
        showCode();
    });
}
