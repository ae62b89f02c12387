#include "ModSql.h"

#include "DatabaseGlobals.h"
#include "DataFolder.h"
#include "dialogs.h"
#include "LegacyFile.h"
#include "ReportDbError.h"
#include "Schema.h"
#include "SchemaUpgrade.h"
#include "settings.h"
#include "StatusPanel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

// Connection failures over the whole run: only the very first one is retried silently.
int connectFailures = 0;

Connection& printSettingsConnection() {
    static Connection connection;
    return connection;
}

QString decodeLine(const QByteArray& line) {
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(line);
    if (!utf8.hasError()) return text;
    // Files written by older tools carry the path in the Chinese code page.
    for (const char* name : {"GB18030", "GBK"}) {
        QStringDecoder legacy(name);
        if (legacy.isValid()) return legacy.decode(line);
    }
    return QString::fromLocal8Bit(line);
}

void openPrintSettings(const QString& appDir) {
    if (!OpenPrintSettings(appDir))
        MsgBox(QStringLiteral("打印设置的保存文件") + appDir + QStringLiteral("print.dat") +
                   QStringLiteral("不存在！"),
               vb::Exclamation);
}

const QString kServerAddressRule =
    QStringLiteral("服务器名称只能是服务器的主机名或 IP 地址，可以在后面加上逗号和端口号，例如 dbserver 或 "
                   "192.168.1.10,5432。不能含有空格、分号或等号。");

// The server box: a name that is no host[,port] is refused and asked again; cancelled, empty.
QString askServerAddress() {
    QString typed = QStringLiteral("Server");
    for (;;) {
        const auto answer =
            InputBox(QStringLiteral("请输入SqlServer数据库所在的服务器名称。此服务器SqlServer数据库"
                                    "中必须有名称为MoLian的数据库"),
                     QStringLiteral("数据源设置"), typed);
        if (!answer || answer->trimmed().isEmpty()) return {};
        if (isServerAddress(answer->trimmed())) return answer->trimmed();
        MsgBox(kServerAddressRule, vb::Exclamation);
        typed = *answer;
    }
}

// Decides gConnStr; false when the operator cancelled the search for a database file.
bool chooseProvider(const QString& appDir, QString& server) {
    if (gUseSqlServer) {
        server = GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("Server"));
        // A saved name edited by hand is checked like a typed one: it never carries parameters.
        if (!server.isEmpty() && !isServerAddress(server)) {
            MsgBox(kServerAddressRule, vb::Exclamation);
            server.clear();
        }
        if (server.isEmpty()) {
            server = askServerAddress();
            if (!server.isEmpty())
                SaveSetting(ExeName(), QStringLiteral("system"), QStringLiteral("Server"), server);
        }
        gStatusPanel.setText(QStringLiteral("正在连接SqlServer数据,请稍候...."));
        gConnStr = serverConnectionString(server);
        return true;
    }
    server.clear();
    gStatusPanel.setText(QStringLiteral("正在连接本地数据,请稍候...."));
    ReadDataIni();
    const QString filter = QStringLiteral("本系统数据库文件|MoLian.mdb|所有文件|*.*|");
    if (!FileExists(gDbPath)) {
        const QString delivered = appDir + QStringLiteral("MoLian.mdb");
        // A data.ini naming a file that is not there (a share not mounted) must not be answered
        // with a new, empty database.
        if (!QFileInfo::exists(appDir + QStringLiteral("data.ini"))) {
            const QString error = createDeliveredFile(currentDataFolderPlaces(), QStringLiteral("MoLian.mdb"),
                                                      &createLocalDatabase);
            if (!error.isEmpty()) MsgBox(error, vb::Exclamation);
        }
        if (FileExists(delivered)) {
            gDbPath = delivered;
        } else {
            const auto chosen = ShowOpen(filter);
            if (!chosen) return false;
            gDbPath = *chosen;
        }
    }
    // An office's old Access file is brought over by the import, never opened (nor written) here.
    for (QString legacy; !(legacy = jetFileMessage(gDbPath)).isEmpty();) {
        MsgBox(legacy, vb::Exclamation);
        const auto chosen = ShowOpen(filter);
        if (!chosen) return false;
        gDbPath = *chosen;
    }
    gConnStr = localConnectionString(gDbPath);
    return true;
}

// A local file is brought up to date by the program; on the server only the owner role may change
// the schema, so a workstation tells what is missing. Without the trail every change is refused;
// reading still works, so the database opens either way.
void bringSchemaUpToDate() {
    try {
        if (gConn.engine() == Connection::Engine::Sqlite) {
            upgradeSchema(gConn.database());
            return;
        }
        const QStringList gaps = schemaGaps(gConn.database());
        if (!gaps.isEmpty()) MsgBox(olderSchemaMessage(gaps), vb::Exclamation);
    } catch (...) {
        ReportDbError();
    }
}

enum class OpenOutcome { Opened, Abort, ChooseAgain };

OpenOutcome openConnection(const QString& server) {
    // Why the chosen database did not open. In local mode the silent second attempt goes to the
    // server, so the file's own failure is the one to tell.
    QString reason;
    for (;;) {
        try {
            gConn.ConnectionString = gConnStr;
            gConn.CursorLocation = ado::adUseClient;
            gConn.Open();
            return OpenOutcome::Opened;
        } catch (const DbError& error) {
            if (reason.isEmpty() || gUseSqlServer) reason = error.description;
            if (connectFailures++ == 0) {
                gConnStr = serverFallbackConnectionString(server);
                continue;
            }
            // Enter retries: nothing is lost by trying again, while Abort ends the program.
            const int answer =
                MsgBox(QStringLiteral("打开SqlServer数据库时发生错误，请按配置方法创建数据库，或按忽略连接本"
                                      "地数据库'MoLian.mdb(必须将MoLian.mdb放在安装目录下)") +
                           QStringLiteral("\n\n") + reason,
                       vb::AbortRetryIgnore | vb::Exclamation | vb::DefaultButton2);
            if (answer == vb::Abort) return OpenOutcome::Abort;
            if (answer == vb::Ignore) gUseSqlServer = false;
            return OpenOutcome::ChooseAgain;
        }
    }
}

} // namespace

bool OpenPrintSettings(const QString& folder) {
    const QString path = folder + QStringLiteral("print.dat");
    if (!FileExists(path)) return false;
    try {
        printSettingsConnection().Open(localConnectionString(path));
        gPrintSetup = std::make_shared<Recordset>();
        gPrintSetup->Open(QStringLiteral("PrintSetup"), printSettingsConnection(), ado::adOpenDynamic,
                          ado::adLockOptimistic);
    } catch (const DbError&) {
        gPrintSetup.reset(); // printing then works without saved settings
    }
    return true;
}

QString AppPath() {
    QString dir = qEnvironmentVariable("ORVANTA_APP_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath();
    dir = QDir::toNativeSeparators(dir);
    if (!dir.endsWith(QDir::separator())) dir += QDir::separator();
    return dir;
}

bool FileExists(const QString& path) {
    if (path.isEmpty()) return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

QString localConnectionString(const QString& path) {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + path +
           QStringLiteral(" ;Persist Security Info=False");
}

bool isServerAddress(const QString& text) {
    static const QRegularExpression address(
        QStringLiteral("^[A-Za-z0-9](?:[A-Za-z0-9._-]*[A-Za-z0-9])?(?:[,:][0-9]{1,5})?$"));
    return address.match(text).hasMatch();
}

QString sslModeSetting() {
    return GetSetting(ExeName(), QStringLiteral("system"), QStringLiteral("SslMode")).trimmed().toLower();
}

namespace {

// The workstation's sslmode setting, when it has one, travels with the server strings.
QString withSslMode(const QString& connectionString) {
    const QString mode = sslModeSetting();
    return mode.isEmpty() ? connectionString : connectionString + QStringLiteral(";SSL Mode=") + mode;
}

} // namespace

QString serverConnectionString(const QString& server) {
    return withSslMode(
        QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;User ID=") +
        kDeskRole + QStringLiteral(";Initial Catalog=MoLian;Data Source=") + server);
}

QString serverFallbackConnectionString(const QString& server) {
    // The system has one database on the server: without its name libpq would pick the one named
    // after the user, which does not exist.
    // Workstations log in with the role that may only read and write the records, never the
    // schema's owner.
    return withSslMode(QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;User ID=") +
                       kDeskRole + QStringLiteral(";Initial Catalog=MoLian;Data Source=") + server);
}

bool SavedServerChoice() {
    // Saved as "True" or "False"; older or hand-edited values may be numbers.
    const QString text =
        GetSetting(ExeName(), QStringLiteral("System"), QStringLiteral("LinkData"), QStringLiteral("0"))
            .trimmed();
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0;
}

void ReadDataIni() {
    QFile file(DataPath() + QStringLiteral("data.ini"));
    if (!file.open(QIODevice::ReadOnly)) return;
    QByteArray line = file.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.startsWith("\xEF\xBB\xBF")) line.remove(0, 3);
    const QString path = decodeLine(line);
    if (FileExists(path)) gDbPath = path;
}

QString defaultDatabasePath() {
    gDbPath.clear();
    ReadDataIni();
    return FileExists(gDbPath) ? gDbPath : DataPath() + QStringLiteral("MoLian.mdb");
}

bool OpenDatabase() {
    const QString appDir = DataPath();
    const QString printError =
        createDeliveredFile(currentDataFolderPlaces(), QStringLiteral("print.dat"), &createPrintSettingsFile);
    if (!printError.isEmpty()) MsgBox(printError, vb::Exclamation);
    openPrintSettings(appDir);
    QString server;
    for (;;) {
        if (!chooseProvider(appDir, server)) return false;
        const OpenOutcome outcome = openConnection(server);
        if (outcome == OpenOutcome::Abort) return false;
        if (outcome == OpenOutcome::Opened) break;
    }
    try {
        gSystemRs = std::make_shared<Recordset>();
        gSystemRs->Open(QStringLiteral("System"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        if (gSystemRs->Fields(QStringLiteral("Ver")).Value().toDouble() < 2.0) {
            MsgBox(QStringLiteral("数据库已升级至2.0,请升级您的数据库!"), vb::Information);
            return false;
        }
        bringSchemaUpToDate();
        gUsersRs = std::make_shared<Recordset>();
        gUsersRs->Open(QStringLiteral("Users"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gListRs = std::make_shared<Recordset>();
        gListRs->Open(QStringLiteral("list"), gConn, ado::adOpenDynamic, ado::adLockOptimistic);
        gStatusPanel.setText(QStringLiteral("就绪"));
        return true;
    } catch (...) {
        gStatusPanel.setText(QStringLiteral("打开数据时出错！"));
        ReportDbError();
        return false;
    }
}
