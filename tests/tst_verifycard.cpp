// The verification code on paper: the printed card and label decode back to the record's address
// (read by an independent decoder from the PDF), the office's host is checked before it is kept,
// and only 管理员 gives a record a new code.
#include "basGlobal.h"
#include "f1ZS.h"
#include "fHeYanMa.h"
#include "fOptions.h"
#include "Operators.h"
#include "ScriptedDialogs.h"
#include "settings.h"
#include "TempConfigDir.h"
#include "TestDatabase.h"
#include "VerifyTokens.h"

#include <QApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kHost = QStringLiteral("check.example.org");

// The text of every QR code on the PDF's first page, as a phone would read it from paper.
QStringList decodedCodes(const QString& pdf) {
    const QString png = pdf + QStringLiteral(".png");
    QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-png"),
                                                    QStringLiteral("-singlefile"), pdf, pdf});
    QProcess reader;
    reader.start(QStringLiteral("ZXingReader"), {png});
    reader.waitForFinished(30000);
    QStringList texts;
    static const QRegularExpression text(QStringLiteral("^Text:\\s+\"(.*)\"$"), QRegularExpression::MultilineOption);
    for (auto match = text.globalMatch(QString::fromUtf8(reader.readAllStandardOutput())); match.hasNext();)
        texts << match.next().captured(1);
    return texts;
}

} // namespace

class VerifyCardTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigDir> m_config;
    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ScriptedDialogs> m_dialogs;
    QPointer<f1ZS> m_form;
    QTemporaryDir m_out;

    QPushButton* button(const char* name) { return m_form->findChild<QPushButton*>(QString::fromLatin1(name)); }

    void openForm(const QString& operatorName = QStringLiteral("管理员")) {
        gConn.Open(m_db->connectionString());
        LogInAs(operatorName);
        m_form = f1ZS::instance();
        m_form->show();
        QApplication::setActiveWindow(m_form);
        QVERIFY(QTest::qWaitForWindowActive(m_form));
    }

    QStringList storedCodes(bool current) {
        QSqlQuery q(gConn.database());
        q.exec(QStringLiteral("SELECT 核验码 FROM VerifyToken WHERE 关键字 = 'K1' AND 停用时间 IS %1 ORDER BY rowid")
                   .arg(current ? QStringLiteral("NULL") : QStringLiteral("NOT NULL")));
        QStringList codes;
        while (q.next())
            codes << q.value(0).toString();
        return codes;
    }

    fHeYanMa* openCodeWindow() {
        button("cmdHeYanMa")->click();
        return m_form->findChild<fHeYanMa*>();
    }

private slots:
    void init() {
        m_config = std::make_unique<TempConfigDir>();
        m_db = TestDatabase::create(TestDatabase::Kind::Local);
        m_db->execAll({QStringLiteral("INSERT INTO DangAnKu (证号, 姓名, 换证日期) VALUES ('K1', '张三', '2030-01-01')"),
                       QStringLiteral("INSERT INTO Users (编号, 姓名, PWD, 资料录入, 人员查询, 打印操作) "
                                      "VALUES ('002', '李明', '', TRUE, TRUE, TRUE)")});
        m_dialogs = std::make_unique<ScriptedDialogs>();
    }
    void cleanup() {
        if (m_form) {
            m_form->close();
            delete m_form;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        LogOut();
        gConn.Close();
        m_dialogs.reset();
        m_db.reset();
        m_config.reset();
    }

    void printedCodeDecodesToTheAddress_data() {
        QTest::addColumn<bool>("label");
        QTest::addColumn<QString>("host");
        QTest::newRow("card") << false << kHost;
        QTest::newRow("label") << true << kHost;
        QTest::newRow("card, host with port") << false << "check.example.org:8443";
        QTest::newRow("card, no host set") << false << "";
    }
    void printedCodeDecodesToTheAddress() {
        QFETCH(bool, label);
        QFETCH(QString, host);
        saveVerifyHost(host);
        openForm();
        const QString pdf = m_out.filePath(QStringLiteral("%1.pdf").arg(QTest::currentDataTag()));
        m_dialogs->answerPreview(pdf);
        if (label) {
            fHeYanMa* window = openCodeWindow();
            QVERIFY(window);
            window->findChild<QPushButton*>(QStringLiteral("cmdPrint"))->click();
            window->close();
        } else {
            button("cmdPrint")->click();
        }
        QCOMPARE(m_dialogs->calls(ScriptedDialogs::Kind::Preview).size(), 1);
        const QStringList codes = storedCodes(true);
        if (host.isEmpty()) {
            // Without a host the card prints as before, and no code is issued for nothing.
            QCOMPARE(decodedCodes(pdf), QStringList());
            QCOMPARE(codes, QStringList());
            return;
        }
        QCOMPARE(codes.size(), 1);
        QCOMPARE(decodedCodes(pdf), QStringList(verifyAddress(host, codes.first())));
    }

    void onlyTheAdministratorIssuesANewCode_data() {
        QTest::addColumn<QString>("operatorName");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("reissued");
        QTest::newRow("管理员, confirmed") << "管理员" << int(vb::Yes) << true;
        QTest::newRow("管理员, not confirmed") << "管理员" << int(vb::No) << false;
        QTest::newRow("another operator, refused") << "李明" << int(vb::OK) << false;
    }
    void onlyTheAdministratorIssuesANewCode() {
        QFETCH(QString, operatorName);
        QFETCH(int, answer);
        QFETCH(bool, reissued);
        saveVerifyHost(kHost);
        openForm(operatorName);
        fHeYanMa* window = openCodeWindow();
        QVERIFY(window);
        const QString first = window->token();
        m_dialogs->answerMsgBox(answer);
        window->findChild<QPushButton*>(QStringLiteral("cmdReissue"))->click();
        QCOMPARE(window->token() != first, reissued);
        QCOMPARE(storedCodes(true), QStringList(window->token()));
        QCOMPARE(storedCodes(false), reissued ? QStringList(first) : QStringList());
        QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("txtAddress"))->text(), verifyAddress(kHost, window->token()));
        window->close();
    }

    void hostCheckedBeforeItIsKept_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("kept");
        QTest::newRow("host") << "check.example.org" << true;
        QTest::newRow("host and port") << "check.example.org:8443" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("with scheme") << "https://check.example.org" << false;
        QTest::newRow("with path") << "check.example.org/v" << false;
        QTest::newRow("with blank") << "check example.org" << false;
    }
    void hostCheckedBeforeItIsKept() {
        QFETCH(QString, typed);
        QFETCH(bool, kept);
        saveVerifyHost(QStringLiteral("before.example.org"));
        openForm();
        QPointer<fOptions> form = fOptions::instance();
        form->show();
        form->findChild<QLineEdit*>(QStringLiteral("txtVerifyHost"))->setText(typed);
        form->findChild<QPushButton*>(QStringLiteral("cmdOk"))->click();
        QCOMPARE(verifyHost(), kept ? typed : QStringLiteral("before.example.org"));
        QCOMPARE(m_dialogs->msgBoxCount(), kept ? 0 : 1);
        // A refused host leaves the form open with what was typed.
        QCOMPARE(bool(form) && form->isVisible(), !kept);
        if (form) form->close();
    }
};

QTEST_MAIN(VerifyCardTest)
#include "tst_verifycard.moc"
