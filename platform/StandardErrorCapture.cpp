#include "StandardErrorCapture.h"

#include <cstdio>
#include <QByteArray>
#include <QList>
#include <QString>
#include <sys/mman.h>
#include <unistd.h>

StandardErrorCapture::StandardErrorCapture() {
    std::fflush(stderr);
    // An anonymous file in memory: never full like a pipe, never left on disk.
    m_capture = memfd_create("stderr-capture", MFD_CLOEXEC);
    if (m_capture < 0) return;
    m_saved = dup(STDERR_FILENO);
    if (m_saved < 0 || dup2(m_capture, STDERR_FILENO) < 0) {
        if (m_saved >= 0) close(m_saved);
        close(m_capture);
        m_saved = m_capture = -1;
    }
}

StandardErrorCapture::~StandardErrorCapture() {
    if (m_capture < 0) return;
    std::fflush(stderr);
    dup2(m_saved, STDERR_FILENO);
    close(m_saved);
    close(m_capture);
}

QStringList StandardErrorCapture::lines() const {
    if (m_capture < 0) return {};
    std::fflush(stderr);
    QByteArray written;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t got = pread(m_capture, buffer, sizeof buffer, offset);
        if (got <= 0) break;
        written.append(buffer, got);
        offset += got;
    }
    // A warning a library gives for every row would otherwise fill the report.
    QStringList distinct;
    QList<int> counts;
    for (const QByteArray& line : written.split('\n')) {
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (text.isEmpty()) continue;
        const qsizetype seen = distinct.indexOf(text);
        if (seen >= 0) {
            ++counts[seen];
            continue;
        }
        distinct << text;
        counts << 1;
    }
    for (qsizetype i = 0; i < distinct.size(); ++i)
        if (counts[i] > 1) distinct[i] += QStringLiteral("（共 %1 次）").arg(counts[i]);
    return distinct;
}
