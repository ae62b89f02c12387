#include "LoadBenchmark.h"

#include "AuditLog.h"
#include "basGlobal.h"
#include "basSub.h"
#include "CommandLine.h"
#include "dialogs.h"
#include "f1ZS.h"
#include "fFindZS.h"
#include "fPView.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QQueue>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <stdexcept>
#include <vector>

// A desk's log, one line per event, fields separated by tabs:
//   T action ms              one action and the milliseconds it took
//   E key before written     an edit the desk was told it saved: the value it replaced, its own
//   X key written            an edit the desk was told it did not save
//   A key name proposed      a new record the desk was told it saved, and the number first proposed
//   R name                   a new record the desk was told it did not save
//   Q yes|no                 the changed-elsewhere question, and the answer given
//   M text                   any other message the desk was shown

namespace {

const QString kBrowsingEdit = QStringLiteral("修改 &E");
const QString kBrowsingAdd = QStringLiteral("新增 &A");
const QString kChangedElsewhere = QStringLiteral("该记录已被其他用户修改。");
const QString kDuplicateNumber = QStringLiteral("编号重复！");
const QString kSurnames = QStringLiteral("王李张刘陈杨黄赵吴周");

// The actions of a desk and how often each comes, out of 100.
struct Action {
    const char* name;
    const char* caption;
    int weight;
};
constexpr Action kActions[] = {
    {"open", "entry form opened (whole register)", 4},
    {"locate", "locate by key or certificate number", 24},
    {"search", "name search to its list", 8},
    {"page", "list window next page", 24},
    {"add", "new record saved", 12},
    {"edit", "shared record edited and saved", 28},
};

QString oneLine(QString text) {
    return text.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
}

// The memo of the record with this key as stored; nullopt when there is no such record.
std::optional<QString> memoOf(Connection& conn, const QString& key) {
    std::optional<QString> memo;
    const QString sql = QStringLiteral("SELECT 备注 FROM DangAnKu WHERE 证号 = ?");
    ForEachRow(conn, Statement{sql, sql, {key}},
               [&](const QVariantList& row) { memo = row.value(0).toString(); });
    return memo;
}

// The desk answers the messages itself; an input box gets what the desk means to type.
class DeskDialogs final : public DialogService {
public:
    std::function<int(const QString&, int)> answer;
    QQueue<QString> typed;

    int msgBox(const QString& prompt, int flags, const QString&) override { return answer(prompt, flags); }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        if (typed.isEmpty()) return std::nullopt;
        return typed.dequeue();
    }
    std::optional<QString> showOpen(const QString&, QObject*) override { return std::nullopt; }
    void beep() override {}
};

class Desk {
public:
    Desk(int number, const QStringList& sharedKeys, QTextStream& log)
        : m_number(number), m_shared(sharedKeys), m_log(log), m_random(quint32(number) * 7919u + 17u) {
        m_dialogs.answer = [this](const QString& prompt, int flags) { return answer(prompt, flags); };
        setDialogService(&m_dialogs);
        m_check.Open(gConnStr);
    }
    ~Desk() { setDialogService(nullptr); }

    void work(int seconds) {
        m_records = f1ZS::instance()->rMain()->RecordCount();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000LL) {
            int pick = m_random.bounded(100);
            const Action* action = kActions;
            while (pick >= action->weight) {
                pick -= action->weight;
                ++action;
            }
            QElapsedTimer timer;
            timer.start();
            run(action->name);
            QCoreApplication::processEvents();
            m_log << "T\t" << action->name << '\t' << timer.nsecsElapsed() / 1e6 << '\n';
        }
        m_log.flush();
    }

private:
    void run(const QByteArray& action) {
        if (action == "open") open();
        if (action == "locate") locate();
        if (action == "search") search();
        if (action == "page") page();
        if (action == "add") add();
        if (action == "edit") edit();
    }

    EntryForm* form() { return f1ZS::instance(); }
    QPushButton* button(const char* name) {
        return form()->findChild<QPushButton*>(QString::fromLatin1(name));
    }
    QString text(const char* name) {
        return ControlText(form()->findChild<QWidget*>(QString::fromLatin1(name)));
    }
    void type(const char* name, const QString& value) {
        SetControlText(form()->findChild<QWidget*>(QString::fromLatin1(name)), value);
    }
    bool editing() { return button("cmdEdit")->text() != kBrowsingEdit; }
    bool adding() { return button("cmdNew")->text() != kBrowsingAdd; }

    void open() {
        delete f1ZS::instance();
        f1ZS::instance();
    }

    // A key of the generated register (plain numbers), now and then a certificate number.
    QString anyKey() {
        qint64 i = m_random.bounded(qMax<qint64>(m_records, 3));
        if (m_random.bounded(4) == 0) return QStringLiteral("ZS%1").arg(i, 8, 10, QLatin1Char('0'));
        if (i % 3 == 0) ++i;
        return QString::number(100000 + i);
    }

    bool locateKey(const QString& key) {
        m_dialogs.typed.enqueue(key);
        button("cmdFind")->click();
        m_dialogs.typed.clear();
        return text("txtBanHao") == key;
    }

    void locate() { locateKey(anyKey()); }

    void search() {
        fFindZS* query = fFindZS::instance();
        query->findChild<QLineEdit*>(QStringLiteral("txtMingCheng"))
            ->setText(kSurnames.at(m_random.bounded(kSurnames.size())));
        query->cmdFind_Click();
    }

    void page() {
        fPView* list = fPView::instance();
        if (list->rFill)
            list->cmdNext_Click();
        else
            button("cmdList")->click();
    }

    void add() {
        button("cmdNew")->click();
        const QString proposed = text("txtBanHao");
        const QString name = QStringLiteral("负载%1台%2号").arg(m_number).arg(++m_added);
        type("txtMingCheng", name);
        // A refusal leaves what was typed in the form: the operator presses save again.
        for (int attempt = 0; attempt < 3 && adding(); ++attempt)
            button("cmdSave")->click();
        if (adding()) {
            button("cmdCancel")->click();
            m_log << "R\t" << name << '\n';
            return;
        }
        m_log << "A\t" << text("txtBanHao") << '\t' << name << '\t' << proposed << '\n';
    }

    // Edits one of the few records every desk edits: the memo gets a value no one else writes,
    // logged with the value the desk saw there, so that the final values can be checked.
    void edit() {
        const QString key = m_shared.at(m_random.bounded(m_shared.size()));
        if (!locateKey(key)) {
            m_log << "M\t" << oneLine(QStringLiteral("没有找到 ") + key) << '\n';
            return;
        }
        const QString seen = text("txtBeiZhu");
        button("cmdEdit")->click();
        const QString mine = QStringLiteral("%1台%2次").arg(m_number).arg(++m_edited);
        type("txtBeiZhu", mine);
        m_editedKey = key;
        m_answeredBefore.reset();
        bool refused = true;
        for (int attempt = 0; attempt < 3 && editing(); ++attempt) {
            m_refused = false;
            button("cmdEdit")->click();
            refused = m_refused;
        }
        const bool stuck = editing();
        if (stuck) open(); // closing the form is the way out of an edit that cannot be saved
        if (stuck || refused) {
            m_log << "X\t" << key << '\t' << mine << '\n';
            return;
        }
        m_log << "E\t" << key << '\t' << m_answeredBefore.value_or(seen) << '\t' << mine << '\n';
    }

    int answer(const QString& prompt, int flags) {
        if (prompt.startsWith(kChangedElsewhere)) {
            // What is stored while the question stands is what a "yes" knowingly replaces. The
            // operator takes a moment to read, and other desks go on meanwhile.
            const QString stored = memoOf(m_check, m_editedKey).value_or(QString());
            QThread::msleep(m_random.bounded(40));
            const bool yes = m_random.bounded(2) == 0;
            m_log << "Q\t" << (yes ? "yes" : "no") << '\n';
            if (!yes) {
                m_refused = true;
                return vb::No;
            }
            m_answeredBefore = stored;
            return vb::Yes;
        }
        if (prompt.startsWith(kDuplicateNumber)) return vb::Yes;
        m_refused = true;
        m_log << "M\t" << oneLine(prompt) << '\n';
        return ButtonAnswers(flags).value(0, vb::OK);
    }

    const int m_number;
    const QStringList m_shared;
    QTextStream& m_log;
    QRandomGenerator m_random;
    DeskDialogs m_dialogs;
    Connection m_check; // reads what is stored, beside the windows' own connection
    qint64 m_records = 0;
    int m_added = 0;
    int m_edited = 0;
    QString m_editedKey;
    std::optional<QString> m_answeredBefore;
    bool m_refused = false;
};

double percentile(QList<double> values, double share) {
    if (values.isEmpty()) return 0;
    std::sort(values.begin(), values.end());
    const qsizetype at = qsizetype(std::ceil(share * values.size())) - 1;
    return values[std::clamp<qsizetype>(at, 0, values.size() - 1)];
}

QStringList keysNamed(const QString& name) {
    QStringList keys;
    const QString sql = QStringLiteral("SELECT 证号 FROM DangAnKu WHERE 姓名 = ?");
    ForEachRow(gConn, Statement{sql, sql, {name}},
               [&](const QVariantList& row) { keys << row.value(0).toString(); });
    return keys;
}

bool openDatabase(const LoadOptions& options, QString& error) {
    error = openCommandDatabase(CommandLine(
        {QStringLiteral("orvanta_bench"), QStringLiteral("--load"),
         options.server ? QStringLiteral("--server") : QStringLiteral("--database"), options.database}));
    return error.isEmpty();
}

struct Edit {
    QString before, written;
};

// Edits told saved are lost when what they wrote was neither the final value nor the value a
// later told-saved edit replaced; an edit told refused must never be what is stored.
int lostEdits(const QString& initial, const QString& final, const QList<Edit>& saved,
              const QStringList& refused, QTextStream& out, const QString& key) {
    QSet<QString> replaced;
    for (const Edit& e : saved)
        replaced.insert(e.before);
    int lost = 0;
    for (const Edit& e : saved)
        if (e.written != final && !replaced.contains(e.written)) {
            ++lost;
            out << "  lost: " << key << " \"" << e.written << "\" (written over \"" << e.before << "\")\n";
        }
    const bool finalWritten =
        final == initial ||
        std::any_of(saved.cbegin(), saved.cend(), [&](const Edit& e) { return e.written == final; });
    if (!finalWritten || refused.contains(final)) {
        ++lost;
        out << "  " << key << " holds \"" << final << "\", which no desk was told it saved\n";
    }
    return lost;
}

} // namespace

int runDesk(const LoadOptions& options, int desk, const QStringList& sharedKeys, const QString& logPath) {
    QTemporaryDir settings; // a desk's own counter and settings, as on its own workstation
    qputenv("ORVANTA_CONFIG_DIR", settings.path().toUtf8());
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return 1;
    QTextStream log(&file);
    QString error;
    if (!openDatabase(options, error)) {
        log << "M\t" << oneLine(error) << '\n';
        return 1;
    }
    try {
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gOperator = QStringLiteral("管理员");
        if (!FindOperator(gOperator)) throw std::runtime_error("no administrator");
        AuditLog::setOperator(gOperator);
        Desk(desk, sharedKeys, log).work(options.seconds);
    } catch (const DbError& e) {
        log << "M\t" << oneLine(e.description) << '\n';
        return 1;
    } catch (const std::exception& e) {
        log << "M\t" << e.what() << '\n';
        return 1;
    }
    return 0;
}

int runLoad(const LoadOptions& options, QTextStream& out) {
    QTemporaryDir settings;
    qputenv("ORVANTA_CONFIG_DIR", settings.path().toUtf8());
    QString error;
    if (!openDatabase(options, error)) {
        out << error << Qt::endl;
        return 1;
    }
    // A few records every desk edits: keys of the generated register.
    QStringList shared;
    QMap<QString, QString> initial;
    for (const char* key : {"100001", "100002", "100004", "100005", "100007"}) {
        const std::optional<QString> memo = memoOf(gConn, QString::fromLatin1(key));
        if (!memo) continue;
        shared << QString::fromLatin1(key);
        initial.insert(shared.last(), *memo);
    }
    if (shared.isEmpty()) {
        out << "the register has none of the shared records" << Qt::endl;
        return 1;
    }
    gConn.Close();

    QTemporaryDir logs;
    std::vector<std::unique_ptr<QProcess>> desks;
    for (int d = 1; d <= options.desks; ++d) {
        auto desk = std::make_unique<QProcess>();
        desk->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        desk->setStandardOutputFile(QProcess::nullDevice());
        QStringList arguments{
            QStringLiteral("--desk"),    QString::number(d),
            QStringLiteral("--on"),      options.database,
            QStringLiteral("--seconds"), QString::number(options.seconds),
            QStringLiteral("--shared"),  shared.join(QLatin1Char(',')),
            QStringLiteral("--log"),     logs.filePath(QStringLiteral("desk-%1.log").arg(d))};
        if (options.server) arguments << QStringLiteral("--server");
        desk->start(QCoreApplication::applicationFilePath(), arguments);
        desks.push_back(std::move(desk));
    }
    int failedDesks = 0;
    for (auto& desk : desks) {
        desk->waitForFinished(-1);
        if (desk->exitStatus() != QProcess::NormalExit || desk->exitCode() != 0) ++failedDesks;
    }

    QMap<QByteArray, QList<double>> times;
    QMap<QString, QList<Edit>> saved;
    QMap<QString, QStringList> refusedEdits;
    QStringList addedNames, refusedNames;
    QMap<QString, int> otherMessages;
    int asked = 0, answeredYes = 0, renumbered = 0;
    QList<QPair<QString, QString>> added; // key, name
    for (int d = 1; d <= options.desks; ++d) {
        QFile file(logs.filePath(QStringLiteral("desk-%1.log").arg(d)));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) continue;
        QTextStream in(&file);
        while (!in.atEnd()) {
            const QStringList f = in.readLine().split(QLatin1Char('\t'));
            const QString kind = f.value(0);
            if (kind == QLatin1String("T")) times[f.value(1).toLatin1()] << f.value(2).toDouble();
            if (kind == QLatin1String("E")) saved[f.value(1)] << Edit{f.value(2), f.value(3)};
            if (kind == QLatin1String("X")) refusedEdits[f.value(1)] << f.value(2);
            if (kind == QLatin1String("A")) {
                added << qMakePair(f.value(1), f.value(2));
                if (f.value(1) != f.value(3)) ++renumbered;
            }
            if (kind == QLatin1String("R")) refusedNames << f.value(1);
            if (kind == QLatin1String("Q")) {
                ++asked;
                if (f.value(1) == QLatin1String("yes")) ++answeredYes;
            }
            if (kind == QLatin1String("M")) ++otherMessages[f.value(1)];
        }
    }

    out << "\n## " << options.desks << " desks for " << options.seconds << " s on "
        << (options.server ? "PostgreSQL" : "SQLite") << "\n\n"
        << "| action | done | per second | p50 | p99 |\n|---|---|---|---|---|\n";
    qsizetype total = 0;
    for (const Action& action : kActions) {
        const QList<double>& t = times.value(action.name);
        total += t.size();
        out << "| " << action.caption << " | " << t.size() << " | "
            << QString::number(double(t.size()) / options.seconds, 'f', 1) << " | "
            << QString::number(percentile(t, 0.5), 'f', 1) << " ms | "
            << QString::number(percentile(t, 0.99), 'f', 1) << " ms |\n";
    }
    out << "| all actions | " << total << " | " << QString::number(double(total) / options.seconds, 'f', 1)
        << " | | |\n\n";

    if (!openDatabase(options, error)) {
        out << error << Qt::endl;
        return 1;
    }
    int lost = 0, editsSaved = 0;
    for (const QString& key : shared) {
        editsSaved += saved.value(key).size();
        lost += lostEdits(initial.value(key), memoOf(gConn, key).value_or(QString()), saved.value(key),
                          refusedEdits.value(key), out, key);
    }
    int addsWrong = 0;
    for (const auto& [key, name] : added)
        if (keysNamed(name) != QStringList{key}) {
            ++addsWrong;
            out << "  new record " << name << " told saved as " << key << ", stored as "
                << keysNamed(name).join(',') << "\n";
        }
    for (const QString& name : refusedNames)
        if (!keysNamed(name).isEmpty()) {
            ++addsWrong;
            out << "  new record " << name << " told refused, yet stored\n";
        }
    gConn.Close();

    // An engine's own text ("database is locked" and the like) is one the operator cannot read,
    // unless it only follows the system's words in brackets, for the technician.
    int raw = 0;
    static const QRegularExpression technicianDetail(QStringLiteral("（[^（）]*）$"));
    for (auto it = otherMessages.cbegin(); it != otherMessages.cend(); ++it) {
        const bool english = QString(it.key())
                                 .remove(technicianDetail)
                                 .contains(QRegularExpression(QStringLiteral("[A-Za-z]{4,}")));
        if (english) raw += it.value();
        out << "  message shown " << it.value() << " time(s)" << (english ? " (engine's own text)" : "")
            << ": " << it.key() << "\n";
    }
    int refused = 0;
    for (const QStringList& r : refusedEdits)
        refused += r.size();
    out << "- edits of " << shared.size() << " records shared by every desk told saved: " << editsSaved
        << ", told not saved: " << refused << "\n"
        << "- changed at another desk, asked before overwriting: " << asked << " (" << answeredYes
        << " answered 是, " << asked - answeredYes << " answered 否)\n"
        << "- lost updates (final values checked against every desk's log): " << lost << "\n"
        << "- new records told saved: " << added.size() << " (" << renumbered
        << " under another number than first proposed), told not saved: " << refusedNames.size()
        << "; not stored as told: " << addsWrong << "\n"
        << "- engine errors shown raw to a desk: " << raw << "\n"
        << "- desks that failed: " << failedDesks << "\n";
    out.flush();
    return failedDesks || lost || addsWrong || raw ? 1 : 0;
}
