#include "CommandHelp.h"

#include <QStringList>

namespace {

const QString kProgram = QStringLiteral("orvanta");
const QString kVersion = QStringLiteral(ORVANTA_VERSION);

const QString kSummary = QStringLiteral("特种作业人员培训与发证档案管理");
const QString kUsage = QStringLiteral("orvanta [模式 [参数]] [选项…]");
const QString kIntroduction = QStringLiteral(
    "不带模式启动时打开程序窗口。带模式时不打开窗口，也不需要显示器：程序完成这一项工作后退出，"
    "消息写到标准错误，任何失败都以非零状态退出。除建立数据库的模式外，每个模式都以一位操作员的身份运行"
    "（--operator 与 --operator-password-file），并须有它在窗口中所需的权限：--import-legacy、--restore、"
    "--set-backup-password、--upgrade-schema 和 --verify-audit 只有管理员可以使用，--import-roster 和 --import-photos 须有“资料录入”，"
    "--list 和 --due-list 须有“打印操作”。");

struct Paragraph {
    QString heading;
    QString text;
};

// Where the data lives, for the help text and the manual page alike.
QList<Paragraph> dataPlaces() {
    return {
        {QStringLiteral("安装后的数据文件夹"),
         QStringLiteral("安装的程序（/usr/bin/orvanta）把本地数据库 MoLian.mdb、打印设置 print.dat 和 "
                        "data.ini 放在每位用户自己的数据文件夹 ~/.local/share/Orvanta/ 中；"
                        "/etc/orvanta/orvanta.ini 的 [data] 一节以 folder=路径 指定共用数据文件夹时，"
                        "这台电脑的所有用户都使用那个文件夹（须事先建好，并让这些用户可以写入）。"
                        "第一次启动时在其中建立交付的数据库和 print.dat；升级或卸载程序都不动这些数据。")},
        {QStringLiteral("从源码目录运行"),
         QStringLiteral("从编译目录运行的程序使用它旁边的 MoLian.mdb 和 print.dat。")},
        {QStringLiteral("设置"),
         QStringLiteral(
             "每位用户的设置在 ~/.config/Orvanta/ 中；环境变量 ORVANTA_CONFIG_DIR 可指定别的文件夹。")},
    };
}

bool isWide(QChar c) {
    return c.unicode() >= 0x2E80;
}

// Closing punctuation stays at the end of the line before it.
bool mayStartLine(QChar c) {
    return !QStringLiteral("，。、；：！？）》」』,.;:!?)").contains(c);
}

// Wraps text for a terminal, counting a Chinese character as two columns. Lines break between
// Chinese characters or at spaces, never inside a word, flag or file name.
QStringList wrapped(const QString& text, int width) {
    QStringList pieces; // one Chinese character, one space, or a word
    for (const QChar c : text) {
        const bool extendsWord = !isWide(c) && c != QLatin1Char(' ') && !pieces.isEmpty() &&
                                 !isWide(pieces.last().back()) && pieces.last() != QLatin1String(" ");
        if (extendsWord)
            pieces.last() += c;
        else
            pieces << QString(c);
    }
    QStringList lines;
    QString line;
    int columns = 0;
    for (const QString& piece : pieces) {
        const int w = isWide(piece.front()) ? 2 : int(piece.size());
        if (columns + w > width && !line.isEmpty() && mayStartLine(piece.front())) {
            while (line.endsWith(QLatin1Char(' ')))
                line.chop(1);
            // An opening bracket goes with what it opens.
            QString carried;
            if (line.size() > 1 && QStringLiteral("（《「『(").contains(line.back())) {
                carried = line.back();
                line.chop(1);
            }
            lines << line;
            line = carried;
            columns = carried.isEmpty() ? 0 : 2;
            if (piece == QLatin1String(" ")) continue;
        }
        line += piece;
        columns += w;
    }
    if (!line.isEmpty()) lines << line;
    return lines;
}

QString helpEntries(const QList<CommandHelpEntry>& entries) {
    QString text;
    for (const CommandHelpEntry& entry : entries) {
        text += QStringLiteral("  ") + entry.usage + QLatin1Char('\n');
        for (const QString& line : wrapped(entry.description, 70))
            text += QStringLiteral("        ") + line + QLatin1Char('\n');
    }
    return text;
}

// Text as roff: backslashes and minus signs escaped, no line starting with a control character.
// Chinese runs have no spaces, so each character is marked as a place the line may break.
QString roff(const QString& text) {
    QString escaped;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            escaped += QStringLiteral("\\-");
        else
            escaped += c;
        if (isWide(c) && i + 1 < text.size() && mayStartLine(text[i + 1])) escaped += QStringLiteral("\\:");
    }
    if (escaped.startsWith(QLatin1Char('.')) || escaped.startsWith(QLatin1Char('\'')))
        escaped.prepend(QStringLiteral("\\&"));
    return escaped;
}

// "--backup 目录" as a bold flag and its argument in italics.
QString roffUsage(const QString& usage) {
    const qsizetype space = usage.indexOf(QLatin1Char(' '));
    if (space < 0) return QStringLiteral(".B ") + roff(usage);
    return QStringLiteral(".BI ") + roff(usage.left(space)) + QStringLiteral(" \"") +
           roff(usage.mid(space)).replace(QLatin1Char('"'), QStringLiteral("\\(dq")) + QLatin1Char('"');
}

QString manualEntries(const QList<CommandHelpEntry>& entries) {
    QString text;
    for (const CommandHelpEntry& entry : entries)
        text += QStringLiteral(".TP\n") + roffUsage(entry.usage) + QLatin1Char('\n') +
                roff(entry.description) + QLatin1Char('\n');
    return text;
}

} // namespace

QString CommandHelpEntry::flag() const {
    return usage.section(QLatin1Char(' '), 0, 0);
}

QList<CommandHelpEntry> commandModes() {
    return {
        {QStringLiteral("--create-database 文件"),
         QStringLiteral(
             "新建本地数据库文件，含全部表和交付内容（操作员 管理员，密码 736）。文件已存在时不动它。")},
        {QStringLiteral("--create-database-if-absent 文件夹"),
         QStringLiteral("在文件夹中没有 MoLian.mdb 或 print.dat 时新建它们，已有的不动。")},
        {QStringLiteral("--create-schema-postgres \"连接串\""),
         QStringLiteral("在 PostgreSQL 数据库中建立全部表和交付内容（libpq 连接串，如 "
                        "\"host=服务器 dbname=MoLian user=postgres\"，须为超级用户），并建立表的所有者 "
                        "orvanta_owner 和工作站账号 orvanta_desk（没有密码，由管理员设置）。")},
        {QStringLiteral("--upgrade-schema"),
         QStringLiteral(
             "把旧版本建立的数据库升级为本版本的结构（操作日志的校验链和防修改保护、索引）；服务器上"
             "须以 orvanta_owner 或超级用户连接。须用 --database 或 --server 指定数据库。")},
        {QStringLiteral("--verify-audit"),
         QStringLiteral(
             "校验操作日志的校验链，报告第一条被删除、修改或插入的记录，链断开时以非 0 退出；完好时"
             "在标准输出写出锚点（记录数:最新校验值）。须用 --database 或 --server 指定数据库。")},
        {QStringLiteral("--backup 目录"),
         QStringLiteral(
             "把本地数据库备份为目录中的 MoLianBackUp.Mdb，检查无误后才替换以前的备份。给出 --server 时用 "
             "pg_dump 备份 PostgreSQL 数据库，文件名为 MoLian-yyyyMMdd-HHmmss.dump，经 pg_restore 检查（账号能建库时"
             "还在临时数据库中试恢复并核对记录数）。设置了备份密码时须用 --password-file，备份写入时即加密。")},
        {QStringLiteral("--restore 文件"),
         QStringLiteral("用备份文件恢复本地数据库（各工作站须先关闭程序，否则拒绝），被替换的数据库保留为 "
                        "MoLian-yyyyMMdd-HHmmss.mdb；给出 --server 时恢复到 PostgreSQL 的新数据库，检查无误后才"
                        "换用原名，原数据库改名保留（须为超级用户，且没有其他连接）。检查无误并恢复完毕才以 0 退出。")},
        {QStringLiteral("--set-backup-password"),
         QStringLiteral("把 --password-file 中的密码设为备份密码（只保存其散列值），以后的备份都加密；--clear "
                        "取消备份密码。服务器上须以 orvanta_owner 连接（--server）。")},
        {QStringLiteral("--import-legacy 文件"),
         QStringLiteral("把旧程序的 Access 数据库导入本系统的数据库，导入报告写到标准输出。")},
        {QStringLiteral("--import-roster 文件"),
         QStringLiteral("把花名册（.xlsx、.ods 或 .csv，UTF-8 或 GBK）导入 --register 指定的登记表：按标题对应各列，"
                        "每行检查无误才写入，有问题的行不导入；报告写到标准输出并保存在数据库旁。")},
        {QStringLiteral("--import-photos 文件夹"),
         QStringLiteral("把文件夹中以身份证号或证号命名的照片（.jpg .jpeg .png .bmp）放到 --register "
                        "指定登记表的记录中；已有照片不替换，除非给出 --replace。")},
        {QStringLiteral("--list 表名"),
         QStringLiteral(
             "把一个登记表（DangAnKu 证书、CaoZuoZheng 操作证、PeiXun 安全生产培训）按编号顺序整表写到 "
             "--out 指定的文件。")},
        {QStringLiteral("--due-list"),
         QStringLiteral("把到期提醒的记录写到 --out 指定的文件，范围由 --within 或 --from 与 --to 指定。")},
        {QStringLiteral("--help"), QStringLiteral("显示本说明后退出。")},
        {QStringLiteral("--version"), QStringLiteral("显示版本后退出。")},
    };
}

QList<CommandHelpEntry> commandOptions() {
    return {
        {QStringLiteral("--database 路径"),
         QStringLiteral(
             "使用这个本地数据库文件，而不是程序默认打开的数据库（data.ini 指定的文件，否则数据文件夹中的 "
             "MoLian.mdb）。")},
        {QStringLiteral("--server \"连接串\""),
         QStringLiteral(
             "使用 PostgreSQL 服务器上的数据库，libpq 连接串如 \"host=服务器 port=5432 dbname=MoLian "
             "user=orvanta_desk\"，可加 sslmode=require；密码放在 libpq 的密码文件中。")},
        {QStringLiteral("--anchor 记录数:校验值"),
         QStringLiteral("--verify-audit 同时检查以前记下的锚点：那一条记录仍在并且校验值未变。")},
        {QStringLiteral("--operator 姓名"),
         QStringLiteral("以这位操作员的身份运行；定时任务宜用一位专设的、只有所需权限的操作员。")},
        {QStringLiteral("--operator-password-file 文件"),
         QStringLiteral("操作员密码所在的文件（第一行，只让运行者可读）。没有给出时在终端上询问；"
                        "没有终端时不运行。连续 5 次密码错误后，每次再试都须等待更久。")},
        {QStringLiteral("--password-file 文件"),
         QStringLiteral("备份密码所在的文件（第一行），用于 --backup、--restore 和 --set-backup-password。")},
        {QStringLiteral("--clear"), QStringLiteral("--set-backup-password 取消备份密码。")},
        {QStringLiteral("--keep 个数"),
         QStringLiteral("--backup --server 只保留目录中最新的这些个备份，较早的在新备份检查无误后删除。")},
        {QStringLiteral("--on-duplicate skip|replace"),
         QStringLiteral("--import-legacy 遇到编号已存在的记录时跳过（默认）或替换；不涉及操作员。")},
        {QStringLiteral("--replace-operators"),
         QStringLiteral("--import-legacy 用旧数据中的操作员替换同名的操作员（密码和权限）；不给出时保留现有的操作员。")},
        {QStringLiteral("--register DangAnKu|CaoZuoZheng|PeiXun"),
         QStringLiteral("--import-roster 和 --import-photos 写入的登记表。")},
        {QStringLiteral("--map 列名=字段"),
         QStringLiteral("--import-roster 把文件中这一列导入到这个字段（字段空着即不导入这一列），可给出多次。")},
        {QStringLiteral("--existing update|skip|add"),
         QStringLiteral("--import-roster 遇到身份证号已在登记表中的人时更新原记录、跳过或另加新证。")},
        {QStringLiteral("--add-options"),
         QStringLiteral("--import-roster 把选项中没有的值加入选项，否则这些行不导入。")},
        {QStringLiteral("--dry-run"),
         QStringLiteral("--import-roster 和 --import-photos 只检查并写出报告，不写入任何数据。")},
        {QStringLiteral("--replace"), QStringLiteral("--import-photos 替换记录中已有的照片。")},
        {QStringLiteral("--fit"),
         QStringLiteral("--import-photos 把大照片缩成证件照尺寸（35×45 毫米，300 dpi）再存入。")},
        {QStringLiteral("--out 文件"),
         QStringLiteral(
             "--list 和 --due-list 写出的文件，按扩展名写成 PDF（.pdf）、Excel（.xlsx）或 CSV（.csv）。")},
        {QStringLiteral("--encoding utf-8|gbk"), QStringLiteral("CSV 文件的编码，默认 utf-8。")},
        {QStringLiteral("--within 天数"),
         QStringLiteral("--due-list 列出今天起这些天内到期和已过期的记录。")},
        {QStringLiteral("--from yyyy-MM-dd"), QStringLiteral("--due-list 的起始日期，与 --to 一起使用。")},
        {QStringLiteral("--to yyyy-MM-dd"), QStringLiteral("--due-list 的结束日期（含当天）。")},
    };
}

bool isListedMode(const QString& flag) {
    for (const CommandHelpEntry& mode : commandModes())
        if (mode.flag() == flag) return true;
    return false;
}

QString helpText() {
    QString text = QStringLiteral("用法：") + kUsage + QStringLiteral("\n\n");
    for (const QString& line : wrapped(kIntroduction, 78))
        text += line + QLatin1Char('\n');
    text += QStringLiteral("\n模式：\n") + helpEntries(commandModes());
    text += QStringLiteral("\n选项：\n") + helpEntries(commandOptions());
    text += QStringLiteral("\n数据位置：\n");
    for (const Paragraph& place : dataPlaces()) {
        text += QStringLiteral("  ") + place.heading + QLatin1Char('\n');
        for (const QString& line : wrapped(place.text, 70))
            text += QStringLiteral("        ") + line + QLatin1Char('\n');
    }
    return text;
}

QString versionText() {
    return QStringLiteral("Orvanta %1（%2）\n").arg(kVersion, kSummary);
}

QString manualPageOf(const QString& program, const QString& summary, const QString& synopsis,
                     const QString& description, const QList<ManualSection>& sections) {
    QString page = QStringLiteral(".TH %1 1 \"\" \"Orvanta %2\" \"用户命令\"\n").arg(roff(program.toUpper()), roff(kVersion));
    // Left-aligned: stretching the spaces of lines that mostly have none would fail.
    page += QStringLiteral(".ad l\n.nh\n");
    page += QStringLiteral(".SH 名称\n") + roff(program) + QStringLiteral(" \\- ") + roff(summary) + QLatin1Char('\n');
    page += QStringLiteral(".SH 概述\n.B ") + roff(program) + QLatin1Char('\n') + roff(synopsis) + QLatin1Char('\n');
    page += QStringLiteral(".SH 描述\n") + roff(description) + QLatin1Char('\n');
    for (const ManualSection& section : sections)
        page += QStringLiteral(".SH ") + section.heading + QLatin1Char('\n') + manualEntries(section.entries);
    return page;
}

QString manualPage() {
    QString page = manualPageOf(kProgram, kSummary, QStringLiteral("[模式 [参数]] [选项…]"), kIntroduction,
                                {{QStringLiteral("模式"), commandModes()}, {QStringLiteral("选项"), commandOptions()}});
    page += QStringLiteral(".SH 文件\n");
    for (const Paragraph& place : dataPlaces())
        page += QStringLiteral(".TP\n.B ") + roff(place.heading) + QLatin1Char('\n') + roff(place.text) +
                QLatin1Char('\n');
    page +=
        QStringLiteral(".SH 服务\n") +
        roff(QStringLiteral("夜间备份由 systemd 定时器 orvanta-backup@用户名.timer 运行 orvanta --backup，"
                            "以该用户的身份备份他的程序默认打开的数据库或 BACKUP_SERVER 指定的 PostgreSQL 数据库；备份目录和其他选项写在 "
                            "/etc/orvanta/backup.conf 中。定时器安装后不启用，用 "
                            "systemctl enable --now orvanta-backup@用户名.timer 启用。证书核验服务 orvanta-verify.service "
                            "只读打开数据库，设置在 /etc/orvanta/verify.conf 中，安装后同样不启用，见 orvanta-verify(1)。")) +
        QLatin1Char('\n');
    return page;
}
