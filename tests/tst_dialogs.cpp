#include "dialogs.h"
#include "ScriptedDialogs.h"
#include "TempConfigDir.h"
#include "Translations.h"
#include "WidgetDialogs.h"

#include <functional>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

namespace {

// Runs `act` on the next modal dialog once it is up (the call that opens it blocks until it closes).
void onNextModal(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(5000);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, act] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            poll->deleteLater();
            poll->stop();
            QPointer<QWidget> guard = modal;
            act(modal);
            // A check that failed inside `act` must not leave the dialog waiting forever.
            if (auto* dialog = qobject_cast<QDialog*>(guard.data()); dialog && dialog->isVisible())
                dialog->done(QDialog::Rejected);
        } else if (deadline->hasExpired()) {
            poll->deleteLater();
            poll->stop();
        }
    });
    poll->start(10);
}

// The buttons' texts as the operator reads them, left to right, without access-key marks.
QStringList laidOutTexts(QMessageBox* box) {
    QList<QAbstractButton*> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(),
              [](QAbstractButton* a, QAbstractButton* b) { return a->x() < b->x(); });
    QStringList texts;
    for (QAbstractButton* button : buttons)
        texts << QString(button->text()).remove(QLatin1Char('&'));
    return texts;
}

QAbstractButton* buttonReading(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons())
        if (QString(button->text()).remove(QLatin1Char('&')) == text) return button;
    return nullptr;
}

} // namespace

class tst_dialogs : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(installQtTranslations());
        installWidgetDialogs();
    }
    void nameFilters_data();
    void nameFilters();

    void messageBox_data();
    void messageBox();
    void messageTextIsPlain();
    void inputBox_data();
    void inputBox();
    void passwordBoxHidesWhatIsTyped();
    void openDialog();
    void openDialogCancelled();
    void askingShowsTheNormalPointer();

    void doubleAnswersInOrderThenDefaults();
    void doubleRecordsCalls();
    void doubleUninstallsItself();

private:
    TempConfigDir m_config;
};

void tst_dialogs::nameFilters_data() {
    QTest::addColumn<QString>("vbFilter");
    QTest::addColumn<QStringList>("filters");
    QTest::newRow("database") << "本系统数据库文件|MoLian.mdb|所有文件|*.*|"
                              << QStringList{"本系统数据库文件 (MoLian.mdb)", "所有文件 (*)"};
    QTest::newRow("several patterns, no closing bar")
        << "图片文件(*.jpg;*.bmp)|*.jpg;*.bmp" << QStringList{"图片文件(*.jpg;*.bmp) (*.jpg *.bmp)"};
    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("description without patterns") << "数据库|*.mdb|孤立" << QStringList{"数据库 (*.mdb)"};
}

void tst_dialogs::nameFilters() {
    QFETCH(QString, vbFilter);
    QFETCH(QStringList, filters);
    QCOMPARE(NameFiltersFromVb(vbFilter), filters);
}

void tst_dialogs::messageBox_data() {
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shownTitle");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QStringList>("buttons"); // left to right
    QTest::addColumn<QString>("defaultButton");
    QTest::addColumn<int>("key"); // 0: click `click`
    QTest::addColumn<QString>("click");
    QTest::addColumn<int>("answer");

    QTest::newRow("ok, information") << (vb::OKOnly | vb::Information) << ""
                                     << "Orvanta" << int(QMessageBox::Information) << QStringList{"确定"}
                                     << "确定" << int(Qt::Key_Escape) << "" << vb::OK;
    QTest::newRow("yes/no, second is default")
        << (vb::YesNo | vb::Question | vb::DefaultButton2) << "删除"
        << "删除" << int(QMessageBox::Question) << QStringList{"是(Y)", "否(N)"} << "否(N)"
        << int(Qt::Key_Return) << "" << vb::No;
    QTest::newRow("yes/no, escape") << (vb::YesNo | vb::Question) << ""
                                    << "Orvanta" << int(QMessageBox::Question)
                                    << QStringList{"是(Y)", "否(N)"} << "是(Y)" << int(Qt::Key_Escape) << ""
                                    << vb::No;
    QTest::newRow("abort/retry/ignore")
        << (vb::AbortRetryIgnore | vb::Exclamation) << ""
        << "Orvanta" << int(QMessageBox::Warning) << QStringList{"中止", "重试", "忽略"} << "中止" << 0
        << "忽略" << vb::Ignore;
    // Esc must not abort: the box waits, and the default button then answers.
    QTest::newRow("abort/retry/ignore, escape then enter")
        << (vb::AbortRetryIgnore | vb::Exclamation | vb::DefaultButton2) << ""
        << "Orvanta" << int(QMessageBox::Warning) << QStringList{"中止", "重试", "忽略"} << "重试"
        << int(Qt::Key_Escape) << "" << vb::Retry;
    QTest::newRow("yes/no/cancel, escape")
        << (vb::YesNoCancel | vb::Critical) << ""
        << "Orvanta" << int(QMessageBox::Critical) << QStringList{"是(Y)", "否(N)", "取消"} << "是(Y)"
        << int(Qt::Key_Escape) << "" << vb::Cancel;
    QTest::newRow("retry/cancel") << vb::RetryCancel << ""
                                  << "Orvanta" << int(QMessageBox::NoIcon) << QStringList{"重试", "取消"}
                                  << "重试" << 0 << "重试" << vb::Retry;
    QTest::newRow("ok/cancel, cancel") << (vb::OKCancel | vb::Exclamation) << ""
                                       << "Orvanta" << int(QMessageBox::Warning)
                                       << QStringList{"确定", "取消"} << "确定" << 0 << "取消" << vb::Cancel;
}

void tst_dialogs::messageBox() {
    QFETCH(int, flags);
    QFETCH(QString, title);
    QFETCH(QString, shownTitle);
    QFETCH(int, icon);
    QFETCH(QStringList, buttons);
    QFETCH(QString, defaultButton);
    QFETCH(int, key);
    QFETCH(QString, click);
    QFETCH(int, answer);

    bool seen = false;
    onNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen = true;
        QCOMPARE(box->windowTitle(), shownTitle);
        QCOMPARE(box->text(), QString("是否继续？"));
        QCOMPARE(int(box->icon()), icon);
        QCOMPARE(laidOutTexts(box), buttons);
        QCOMPARE(box->defaultButton(), buttonReading(box, defaultButton));
        if (key) QTest::keyClick(box, Qt::Key(key));
        if (!box->isVisible()) return;
        if (key)
            QTest::keyClick(box, Qt::Key_Return);
        else
            buttonReading(box, click)->click();
    });
    QCOMPARE(MsgBox("是否继续？", flags, title), answer);
    QVERIFY(seen);
}

void tst_dialogs::messageTextIsPlain() {
    onNextModal([](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        QCOMPARE(box->textFormat(), Qt::PlainText);
        box->buttons().first()->click();
    });
    QCOMPARE(MsgBox("<b>UNIQUE</b> constraint failed"), vb::OK);
}

void tst_dialogs::inputBox_data() {
    QTest::addColumn<QString>("typed"); // null: leave the proposed text
    QTest::addColumn<bool>("accept");
    QTest::addColumn<std::optional<QString>>("result");
    QTest::newRow("proposed text") << QString() << true << std::optional<QString>("SERVER01");
    QTest::newRow("typed text") << "数据库服务器" << true << std::optional<QString>("数据库服务器");
    QTest::newRow("confirmed empty") << "" << true << std::optional<QString>("");
    QTest::newRow("cancelled") << "ignored" << false << std::optional<QString>();
}

void tst_dialogs::inputBox() {
    QFETCH(QString, typed);
    QFETCH(bool, accept);
    QFETCH(std::optional<QString>, result);

    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QString("Orvanta"));
        QCOMPARE(dialog->labelText(), QString("请输入服务器名称"));
        QCOMPARE(dialog->textValue(), QString("SERVER01"));
        if (!typed.isNull()) dialog->setTextValue(typed);
        accept ? dialog->accept() : dialog->reject();
    });
    QCOMPARE(InputBox("请输入服务器名称", QString(), "SERVER01"), result);
}

void tst_dialogs::passwordBoxHidesWhatIsTyped() {
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
        dialog->setTextValue("geheim");
        dialog->accept();
    });
    QCOMPARE(PasswordBox("请输入备份密码："), std::optional<QString>("geheim"));
}

void tst_dialogs::openDialog() {
    QTemporaryDir dir;
    const QString database = dir.filePath("MoLian.mdb");
    QFile file(database);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog);
        QCOMPARE(dialog->nameFilters(), QStringList({"本系统数据库文件 (MoLian.mdb)", "所有文件 (*)"}));
        // Qt's own words in Chinese, the kind of a folder included.
        QCOMPARE(dialog->labelText(QFileDialog::LookIn), QString("查找范围："));
        auto* files = dialog->findChild<QFileSystemModel*>();
        QVERIFY(files);
        QCOMPARE(files->type(files->index(QDir::tempPath())), QString("文件夹"));
        // Typed as the operator would: selectFile() leaves a focused name box untouched.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(database);
        static_cast<QDialog*>(dialog)->accept(); // accept() is protected in QFileDialog
    });
    QCOMPARE(ShowOpen("本系统数据库文件|MoLian.mdb|所有文件|*.*|"), std::optional<QString>(database));
}

void tst_dialogs::openDialogCancelled() {
    onNextModal([](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); });
    QCOMPARE(ShowOpen("所有文件|*.*|"), std::optional<QString>());
}

void tst_dialogs::askingShowsTheNormalPointer() {
    // A long step holds the wait cursor while it asks.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QList<Qt::CursorShape> whileAsking;
    const auto note = [&](QWidget* modal) {
        whileAsking << QGuiApplication::overrideCursor()->shape();
        static_cast<QDialog*>(modal)->reject();
    };
    onNextModal(note);
    MsgBox("是否继续？", vb::OKCancel);
    onNextModal(note);
    InputBox("请输入服务器名称");
    onNextModal(note);
    ShowOpen("所有文件|*.*|");
    QCOMPARE(whileAsking, QList<Qt::CursorShape>(3, Qt::ArrowCursor));
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
}

void tst_dialogs::doubleAnswersInOrderThenDefaults() {
    ScriptedDialogs dialogs;
    dialogs.answerMsgBox(vb::No);
    dialogs.answerMsgBox(vb::Retry);
    dialogs.answerInput(QString("张三"));
    dialogs.answerInput(QString(""));
    dialogs.answerOpen(QString("/data/MoLian.mdb"));

    QCOMPARE(MsgBox("a", vb::YesNo), vb::No);
    QCOMPARE(MsgBox("b", vb::AbortRetryIgnore), vb::Retry);
    QCOMPARE(InputBox("c"), std::optional<QString>("张三"));
    QCOMPARE(InputBox("d"), std::optional<QString>(""));
    QCOMPARE(ShowOpen("x|*|"), std::optional<QString>("/data/MoLian.mdb"));
    QCOMPARE(dialogs.pendingAnswers(), 0);

    // Unscripted: the first button of each set, and cancel for input and open.
    QCOMPARE(MsgBox("e"), vb::OK);
    QCOMPARE(MsgBox("f", vb::OKCancel), vb::OK);
    QCOMPARE(MsgBox("g", vb::AbortRetryIgnore | vb::DefaultButton2), vb::Abort);
    QCOMPARE(MsgBox("h", vb::YesNoCancel), vb::Yes);
    QCOMPARE(MsgBox("i", vb::YesNo), vb::Yes);
    QCOMPARE(MsgBox("j", vb::RetryCancel), vb::Retry);
    QCOMPARE(InputBox("k"), std::optional<QString>());
    QCOMPARE(ShowOpen("x|*|"), std::optional<QString>());
}

void tst_dialogs::doubleRecordsCalls() {
    ScriptedDialogs dialogs;
    MsgBox("删除吗？", vb::YesNo | vb::Question | vb::DefaultButton2, "删除");
    InputBox("服务器", "", "SERVER01");
    Beep();
    ShowOpen("数据库|*.mdb|");
    MsgBox("完成", vb::Information);
    Beep();

    QCOMPARE(dialogs.messages().size(), qsizetype(6));
    QCOMPARE(dialogs.msgBoxCount(), 2);
    QCOMPARE(dialogs.beepCount(), 2);

    const auto first = dialogs.messages()[0];
    QCOMPARE(first.text, QString("删除吗？"));
    QCOMPARE(first.icon, vb::Question);
    QCOMPARE(first.buttons, vb::YesNo);
    QCOMPARE(first.title, QString("删除"));
    QVERIFY(first.defaultButton2);

    const auto input = dialogs.calls(ScriptedDialogs::Kind::Input).value(0);
    QCOMPARE(input.title, QString("Orvanta"));
    QCOMPARE(input.defaultText, QString("SERVER01"));
    QCOMPARE(dialogs.calls(ScriptedDialogs::Kind::Open).value(0).text, QString("数据库|*.mdb|"));

    const auto last = dialogs.lastMessage();
    QCOMPARE(last.text, QString("完成"));
    QCOMPARE(last.icon, vb::Information);
    QCOMPARE(last.buttons, vb::OKOnly);
    QCOMPARE(last.title, QString("Orvanta"));
    QVERIFY(!last.defaultButton2);

    dialogs.clear();
    QVERIFY(dialogs.messages().isEmpty());
    QCOMPARE(dialogs.lastMessage().text, QString());
}

void tst_dialogs::doubleUninstallsItself() {
    { ScriptedDialogs dialogs; }
    bool realBoxShown = false;
    onNextModal([&](QWidget* modal) {
        realBoxShown = qobject_cast<QMessageBox*>(modal) != nullptr;
        static_cast<QMessageBox*>(modal)->buttons().first()->click();
    });
    MsgBox("real");
    QVERIFY(realBoxShown);
}

QTEST_MAIN(tst_dialogs)
#include "tst_dialogs.moc"
