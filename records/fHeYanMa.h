#pragma once
// 证书核验码: the record's verification code as its QR code and address, a label to print, and
// for 管理员 a new code when a card was lost (the old one answers as unknown from then on).

#include "QrCode.h"

#include <memory>
#include <QDialog>

namespace Ui {
class fHeYanMa;
}

class fHeYanMa : public QDialog {
    Q_OBJECT

public:
    // Opens the window on a stored record, its code issued when it has none yet. Null (after
    // saying why) when no verification host is set or the code cannot be had.
    static fHeYanMa* showFor(const QString& table, const QString& keyLabel, const QString& key, const QString& name,
                             QWidget* parent);
    ~fHeYanMa() override;

    QString token() const { return m_token; }
    QString address() const;

public slots:
    void cmdPrint_Click();
    void cmdReissue_Click();

private:
    fHeYanMa(QString table, QString keyLabel, QString key, QString name, QString token, QWidget* parent);
    void showCode();

    std::unique_ptr<Ui::fHeYanMa> ui;
    QString m_table;
    QString m_keyLabel;
    QString m_key;
    QString m_name;
    QString m_token;
};
