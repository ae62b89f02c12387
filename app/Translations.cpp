#include "Translations.h"

#include <QCoreApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

// Qt's catalogue lacks the file kinds its file dialogs list ("Folder" beside every folder).
class FileKindTexts final : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char*, int) const override {
        if (qstrcmp(context, "QAbstractFileIconProvider") != 0) return {};
        static const QHash<QByteArray, QString> texts{
            {"Folder", QStringLiteral("文件夹")},     {"File", QStringLiteral("文件")},
            {"%1 File", QStringLiteral("%1 文件")},   {"Drive", QStringLiteral("驱动器")},
            {"Shortcut", QStringLiteral("快捷方式")}, {"Alias", QStringLiteral("替身")},
        };
        return texts.value(sourceText);
    }
    bool isEmpty() const override { return false; }
};

} // namespace

bool installQtTranslations() {
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    static QTranslator* installed = nullptr;
    if (installed) return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(new FileKindTexts(QCoreApplication::instance()));
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}
