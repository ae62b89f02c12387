#pragma once
// The dialog seam: message box, input box, open-file dialog and beep with the argument and answer
// conventions the windows were written for. Everything goes through one DialogService, which the
// tests replace with a scripted double.

#include <optional>
#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

namespace vb {
// Buttons (flags & 7)
constexpr int OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
// Icons (flags & 0x70)
constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
constexpr int DefaultButton2 = 256;
// Answers
constexpr int OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;

constexpr int ButtonMask = 7, IconMask = 0x70;
} // namespace vb

class DialogService {
public:
    virtual ~DialogService();
    // `title` arrives resolved (never empty).
    virtual int msgBox(const QString& prompt, int flags, const QString& title) = 0;
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText) = 0;
    virtual std::optional<QString> showOpen(const QString& vbFilter, QWidget* parent) = 0;
    virtual void beep() = 0;
};

// Installs `service` for all later calls; nullptr restores the real Qt dialogs. Not owned.
void setDialogService(DialogService* service);

// Returns one of the vb answers. An empty title means the application title.
int MsgBox(const QString& prompt, int flags = vb::OKOnly, const QString& title = QString());
// nullopt when cancelled; an empty text when confirmed empty.
std::optional<QString> InputBox(const QString& prompt, const QString& title = QString(),
                                const QString& defaultText = QString());
// `vbFilter` is "description|patterns|description|patterns|"; returns the chosen file's full path,
// nullopt when cancelled.
std::optional<QString> ShowOpen(const QString& vbFilter, QWidget* parent = nullptr);
void Beep();

// "本系统数据库文件|MoLian.mdb|所有文件|*.*|" → {"本系统数据库文件 (MoLian.mdb)", "所有文件 (*)"}.
QStringList NameFiltersFromVb(const QString& vbFilter);
// The answers of the buttons a box with these flags shows, left to right.
QList<int> ButtonAnswers(int flags);
