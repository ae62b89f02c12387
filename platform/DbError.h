#pragma once
// The error every layer raises and the error routine tells: a number the office's programs knew
// and a description.

#include <exception>
#include <QString>

// Error numbers the error routine knows, plus the few the layer raises itself.
namespace DbErrorCode {
constexpr int DuplicateKey = 3022;
constexpr int NoCurrentRecord = 3021;
constexpr int Conversion = 3421;
constexpr int WriteConflict = 3197;
constexpr int Locked = 3218;
constexpr int ReadOnly = 3027;
constexpr int BadCriterion = 3001;
constexpr int NotOpen = 3704;
constexpr int ConnectFailed = 3146;
constexpr int ConnectionLost = 3709;
constexpr int Driver = 3000;
} // namespace DbErrorCode

struct DbError : std::exception {
    DbError(int number, QString description) : number(number), description(std::move(description)) {}
    const char* what() const noexcept override { return "DbError"; }
    int number;
    QString description;
};
