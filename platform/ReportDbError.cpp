#include "ReportDbError.h"

#include "dialogs.h"

#include <exception>

namespace {

const QString kContactDeveloper = QStringLiteral("如有问题，请与程序开发商联系!");

// Error raised with nothing to tell the user (a handler that was already told to stop).
constexpr int SilentError = 364;
constexpr int RecordTooLarge = 3017;
constexpr int WrongDatabaseVersion = 3126;
// Number given to failures that are not database errors: none of the known ones.
constexpr int GeneralError = 0;

struct Described {
    int number;
    QString description;
};

// Must be called inside a catch block.
Described describeCurrentException() {
    try {
        throw;
    } catch (const DbError& e) {
        return {e.number, e.description};
    } catch (const std::exception& e) {
        return {GeneralError, QString::fromUtf8(e.what())};
    } catch (...) {
        return {GeneralError, QStringLiteral("发生未知错误。")};
    }
}

QString messageFor(int number, const QString& description) {
    switch (number) {
    case RecordTooLarge:
        return QStringLiteral("记录内容太多!");
    case DbErrorCode::NoCurrentRecord:
        return QStringLiteral("没有当前记录!");
    case DbErrorCode::DuplicateKey:
        return QStringLiteral("重复的记录,请检查原因!");
    case WrongDatabaseVersion:
        return QStringLiteral("数据库版本不同，请升级为最新的数据库。如有问题，请与技术支持商联系！");
    case DbErrorCode::Conversion:
        return QStringLiteral("由于数据类型不同或转换错误，导致更新数据失败!");
    }
    return description + kContactDeveloper;
}

} // namespace

void ReportDbError(int number, const QString& description) noexcept {
    if (number == SilentError) return;
    try {
        MsgBox(messageFor(number, description), vb::OKOnly | vb::Exclamation);
    } catch (...) {
        try {
            MsgBox(describeCurrentException().description + kContactDeveloper, vb::OKOnly | vb::Critical);
        } catch (...) {
            // Nothing is left to tell the user with; an error report must not raise an error itself.
        }
    }
}

void ReportDbError() noexcept {
    if (!std::current_exception()) return; // outside a catch block `throw;` would end the program
    Described error{};
    try {
        error = describeCurrentException();
    } catch (...) {
        return; // even copying the description failed: nothing sensible left to show
    }
    ReportDbError(error.number, error.description);
}
