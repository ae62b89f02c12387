#include "FileCopy.h"

#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QSaveFile>

CopyResult CopyWithProgress(const QString& source, const QString& target, QWidget* owner, QString* error) {
    const auto fail = [&](const QString& text) {
        if (error) *error = text;
        return CopyResult::Failed;
    };
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) return fail(in.errorString());
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly)) return fail(out.errorString());
    constexpr qint64 kChunk = 1 << 20;
    const qint64 total = qMax<qint64>(1, in.size());
    QProgressDialog progress(QFileInfo(source).fileName(), QStringLiteral("取消"), 0, 1000, owner);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    qint64 done = 0;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return fail(in.errorString()); // the unfinished copy is discarded with `out`
        if (out.write(chunk) != chunk.size()) return fail(out.errorString());
        done += chunk.size();
        progress.setValue(int(done * 1000 / total));
        if (progress.wasCanceled()) {
            out.cancelWriting();
            return CopyResult::Cancelled;
        }
    }
    if (!out.commit()) return fail(out.errorString());
    return CopyResult::Copied;
}
