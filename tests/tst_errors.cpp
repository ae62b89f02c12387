#include "ReportDbError.h"
#include "ScriptedDialogs.h"
#include "TempConfigDir.h"

#include <QtTest>
#include <stdexcept>

namespace {

const QString kContact = QStringLiteral("如有问题，请与程序开发商联系!");

// Throws `error` from the first `failures` message boxes, then records the rest.
class FailingDialogs final : public DialogService {
public:
    FailingDialogs(std::exception_ptr error, int failures) : m_error(std::move(error)), m_failures(failures) {
        setDialogService(this);
    }
    ~FailingDialogs() override { setDialogService(nullptr); }

    int msgBox(const QString& prompt, int flags, const QString& title) override {
        if (m_failures-- > 0) std::rethrow_exception(m_error);
        shown << Shown{prompt, flags, title};
        return vb::OK;
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override { return {}; }
    std::optional<QString> showOpen(const QString&, QObject*) override { return {}; }
    void beep() override {}

    struct Shown {
        QString text;
        int flags;
        QString title;
    };
    QList<Shown> shown;

private:
    std::exception_ptr m_error;
    int m_failures;
};

template <typename Exception> void reportThrown(const Exception& error) {
    try {
        throw error;
    } catch (...) {
        ReportDbError();
    }
}

} // namespace

class tst_errors : public QObject {
    Q_OBJECT

private slots:
    void knownNumbers_data();
    void knownNumbers();
    void silentError();
    void otherExceptions_data();
    void otherExceptions();
    void nothingInFlight();
    void failureWhileShowingIsCritical_data();
    void failureWhileShowingIsCritical();
    void failureOfTheFallbackIsSwallowed();

private:
    TempConfigDir m_config;
};

void tst_errors::knownNumbers_data() {
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("message");
    QTest::newRow("3017") << 3017 << "too large"
                          << "记录内容太多!";
    QTest::newRow("3021") << 3021 << "no row"
                          << "没有当前记录!";
    QTest::newRow("3022") << 3022 << "UNIQUE constraint failed"
                          << "重复的记录,请检查原因!";
    QTest::newRow("3126") << 3126 << "version"
                          << "数据库版本不同，请升级为最新的数据库。如有问题，请与技术支持商联系！";
    QTest::newRow("3421") << 3421 << "conversion"
                          << "由于数据类型不同或转换错误，导致更新数据失败!";
    QTest::newRow("unknown number") << 3000 << "连接已断开。"
                                    << "连接已断开。" + kContact;
    QTest::newRow("description without stop") << 3197 << "row changed"
                                              << "row changed" + kContact;
}

void tst_errors::knownNumbers() {
    QFETCH(int, number);
    QFETCH(QString, description);
    QFETCH(QString, message);

    // Both ways in: the exception in flight and the number with its description.
    ScriptedDialogs dialogs;
    reportThrown(DbError(number, description));
    ReportDbError(number, description);

    QCOMPARE(dialogs.messages().size(), qsizetype(2));
    for (const auto& call : dialogs.messages()) {
        QVERIFY(call.kind == ScriptedDialogs::Kind::MsgBox);
        QCOMPARE(call.text, message);
        QCOMPARE(call.icon, vb::Exclamation);
        QCOMPARE(call.buttons, vb::OKOnly);
        QCOMPARE(call.title, QString("Orvanta"));
    }
}

void tst_errors::silentError() {
    ScriptedDialogs dialogs;
    reportThrown(DbError(364, "stopped"));
    ReportDbError(364, "stopped");
    QVERIFY(dialogs.messages().isEmpty());
}

void tst_errors::otherExceptions_data() {
    QTest::addColumn<std::exception_ptr>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("std::exception") << std::make_exception_ptr(std::runtime_error("磁盘已满"))
                                    << "磁盘已满" + kContact;
    QTest::newRow("anything else") << std::make_exception_ptr(42) << "发生未知错误。" + kContact;
}

void tst_errors::otherExceptions() {
    QFETCH(std::exception_ptr, error);
    QFETCH(QString, message);
    ScriptedDialogs dialogs;
    try {
        std::rethrow_exception(error);
    } catch (...) {
        ReportDbError();
    }
    QCOMPARE(dialogs.msgBoxCount(), 1);
    QCOMPARE(dialogs.lastMessage().text, message);
    QCOMPARE(dialogs.lastMessage().icon, vb::Exclamation);
}

void tst_errors::nothingInFlight() {
    ScriptedDialogs dialogs;
    ReportDbError(); // would end the program if it rethrew blindly
    QVERIFY(dialogs.messages().isEmpty());
}

void tst_errors::failureWhileShowingIsCritical_data() {
    QTest::addColumn<std::exception_ptr>("failure");
    QTest::addColumn<QString>("message");
    QTest::newRow("DbError") << std::make_exception_ptr(DbError(5, "无法显示对话框。"))
                             << "无法显示对话框。" + kContact;
    QTest::newRow("std::exception") << std::make_exception_ptr(std::runtime_error("no screen"))
                                    << "no screen" + kContact;
    QTest::newRow("anything else") << std::make_exception_ptr(7) << "发生未知错误。" + kContact;
}

void tst_errors::failureWhileShowingIsCritical() {
    QFETCH(std::exception_ptr, failure);
    QFETCH(QString, message);
    FailingDialogs dialogs(failure, 1);
    reportThrown(DbError(3022, "duplicate"));
    QCOMPARE(dialogs.shown.size(), qsizetype(1));
    QCOMPARE(dialogs.shown[0].text, message);
    QCOMPARE(dialogs.shown[0].flags, vb::OKOnly | vb::Critical);
    QCOMPARE(dialogs.shown[0].title, QString("Orvanta"));
}

void tst_errors::failureOfTheFallbackIsSwallowed() {
    FailingDialogs dialogs(std::make_exception_ptr(std::runtime_error("broken")), 4);
    reportThrown(DbError(3000, "x")); // ReportDbError is noexcept: an escape would terminate here
    ReportDbError(3000, "x");
    QVERIFY(dialogs.shown.isEmpty());
}

QTEST_MAIN(tst_errors)
#include "tst_errors.moc"
