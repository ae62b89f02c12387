#include "dialogs.h"

#include "settings.h"

#include <QTextStream>

DialogService::~DialogService() = default;

std::optional<QString> DialogService::passwordBox(const QString& prompt, const QString& title) {
    return inputBox(prompt, title, QString());
}

std::optional<SaveChoice> DialogService::showSave(const QString&, const QString&, int, QObject*) {
    return std::nullopt;
}

PrintRoute DialogService::printDialog(const QString&, QObject*) {
    return {};
}

PrintRoute DialogService::printPreview(const QString&, QObject*) {
    return {};
}

namespace {

QString resolvedTitle(const QString& title) {
    return title.isEmpty() ? OfficeTitle() : title;
}

// Without windows nobody can answer: the message is told on standard error and the box takes the
// answer Enter would give; nothing is typed or chosen.
class StandardErrorDialogs final : public DialogService {
public:
    int msgBox(const QString& prompt, int flags, const QString&) override {
        QTextStream(stderr) << prompt << Qt::endl;
        const QList<int> answers = ButtonAnswers(flags);
        return (flags & vb::DefaultButton2) && answers.size() > 1 ? answers[1] : answers[0];
    }
    std::optional<QString> inputBox(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> showOpen(const QString&, QObject*) override { return std::nullopt; }
    void beep() override {}
};

StandardErrorDialogs standardErrorService;
DialogService* defaultService = &standardErrorService;
DialogService* currentService = defaultService;

} // namespace

void setDialogService(DialogService* service) {
    currentService = service ? service : defaultService;
}

void setDefaultDialogService(DialogService* service) {
    const bool followsDefault = currentService == defaultService;
    defaultService = service ? service : &standardErrorService;
    if (followsDefault) currentService = defaultService;
}

DialogService& currentDialogService() {
    return *currentService;
}

QList<int> ButtonAnswers(int flags) {
    switch (flags & vb::ButtonMask) {
    case vb::OKCancel:
        return {vb::OK, vb::Cancel};
    case vb::AbortRetryIgnore:
        return {vb::Abort, vb::Retry, vb::Ignore};
    case vb::YesNoCancel:
        return {vb::Yes, vb::No, vb::Cancel};
    case vb::YesNo:
        return {vb::Yes, vb::No};
    case vb::RetryCancel:
        return {vb::Retry, vb::Cancel};
    }
    return {vb::OK};
}

QStringList NameFiltersFromVb(const QString& vbFilter) {
    const QStringList parts = vbFilter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (patterns.isEmpty()) continue;
        for (QString& pattern : patterns) {
            pattern = pattern.trimmed();
            // "*.*" means every file there, also names without a dot.
            if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

int MsgBox(const QString& prompt, int flags, const QString& title) {
    return currentService->msgBox(prompt, flags, resolvedTitle(title));
}

std::optional<QString> InputBox(const QString& prompt, const QString& title, const QString& defaultText) {
    return currentService->inputBox(prompt, resolvedTitle(title), defaultText);
}

std::optional<QString> PasswordBox(const QString& prompt, const QString& title) {
    return currentService->passwordBox(prompt, resolvedTitle(title));
}

std::optional<QString> ShowOpen(const QString& vbFilter, QObject* parent) {
    return currentService->showOpen(vbFilter, parent);
}

void Beep() {
    currentService->beep();
}

std::optional<SaveChoice> ShowSave(const QString& vbFilter, const QString& defaultPath, int filterIndex,
                                   QObject* parent) {
    return currentService->showSave(vbFilter, defaultPath, filterIndex, parent);
}
