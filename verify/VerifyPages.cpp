#include "VerifyPages.h"

#include <QCryptographicHash>

namespace {

const QString kStyle = QStringLiteral(
    "body{margin:0;font-family:sans-serif;background:#f4f4f4;color:#222;line-height:1.5}"
    "main{max-width:34em;margin:0 auto;padding:1em;background:#fff;min-height:100vh;box-sizing:border-box}"
    "h1{font-size:1.3em;text-align:center;margin:.3em 0 .8em}"
    "h2{font-size:1.1em;border-bottom:1px solid #ccc;padding-bottom:.2em}"
    ".status{font-size:2.4em;font-weight:bold;text-align:center;margin:.4em 0;padding:.2em;border-radius:.2em}"
    ".valid{color:#fff;background:#1b7f2a}.due{color:#000;background:#f2c200}"
    ".expired,.cancelled{color:#fff;background:#b3261e}"
    "dl{display:grid;grid-template-columns:auto 1fr;gap:.3em 1em;margin:0}dt{color:#555}dd{margin:0}"
    "img{display:block;max-width:35%;margin:.5em auto;border:1px solid #ccc}"
    ".miss{font-size:1.6em;text-align:center;margin:1.5em 0}"
    "label{display:block;margin:.6em 0}input{display:block;width:100%;box-sizing:border-box;font-size:1.1em;"
    "padding:.4em}button{font-size:1.1em;padding:.4em 2em;margin-top:.6em}"
    ".note{color:#b3261e}footer{color:#777;font-size:.85em;margin-top:2em;text-align:center}");

QString escaped(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char('\''), QStringLiteral("&#39;"));
}

QByteArray page(const QString& title, const QString& body) {
    return (QStringLiteral("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                           "<meta name=\"robots\" content=\"noindex\"><title>证书核验 - %1</title>"
                           "<style>%2</style></head><body><main><h1>%1</h1>%3</main></body></html>\n")
                .arg(escaped(title), kStyle, body))
        .toUtf8();
}

QString statusClass(CertificateStatus status) {
    switch (status) {
    case CertificateStatus::Valid:
        return QStringLiteral("valid");
    case CertificateStatus::ReviewDue:
        return QStringLiteral("due");
    case CertificateStatus::Expired:
        return QStringLiteral("expired");
    case CertificateStatus::Cancelled:
        return QStringLiteral("cancelled");
    }
    return {};
}

// The photo's type from its first bytes; only the kinds a browser shows.
QString photoType(const QByteArray& photo) {
    if (photo.startsWith("\xFF\xD8\xFF")) return QStringLiteral("image/jpeg");
    if (photo.startsWith("\x89PNG")) return QStringLiteral("image/png");
    if (photo.startsWith("GIF8")) return QStringLiteral("image/gif");
    if (photo.startsWith("BM")) return QStringLiteral("image/bmp");
    return {};
}

QString certificateSection(const VerifiedCertificate& found) {
    QString html = QStringLiteral("<section><h2>%1</h2><p class=\"status %2\">%3</p>")
                       .arg(escaped(found.registerName), statusClass(found.status),
                            escaped(certificateStatusText(found.status)));
    if (const QString type = photoType(found.photo); !type.isEmpty())
        html += QStringLiteral("<img alt=\"照片\" src=\"data:%1;base64,%2\">")
                    .arg(type, QString::fromLatin1(found.photo.toBase64()));
    html += QStringLiteral("<dl><dt>%1</dt><dd>%2</dd>").arg(escaped(found.keyLabel), escaped(found.key));
    if (!found.maskedName.isEmpty())
        html += QStringLiteral("<dt>姓名</dt><dd>%1</dd>").arg(escaped(found.maskedName));
    for (const auto& [label, value] : found.lines)
        html += QStringLiteral("<dt>%1</dt><dd>%2</dd>").arg(escaped(label), value.isEmpty() ? QStringLiteral("—") : escaped(value));
    return html + QStringLiteral("</dl></section>");
}

} // namespace

namespace VerifyPages {

QByteArray contentSecurityPolicy() {
    const QByteArray styleHash = QCryptographicHash::hash(kStyle.toUtf8(), QCryptographicHash::Sha256).toBase64();
    return "default-src 'none'; style-src 'sha256-" + styleHash +
           "'; img-src data:; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";
}

QByteArray certificatesPage(const QString& title, const QList<VerifiedCertificate>& found, const QDate& today) {
    QString body;
    for (const VerifiedCertificate& certificate : found)
        body += certificateSection(certificate);
    body += QStringLiteral("<footer>核验日期：%1。本页只显示该证书的核验信息；如有疑问，请与发证机构联系。</footer>")
                .arg(today.toString(Qt::ISODate));
    return page(title, body);
}

QByteArray formPage(const QString& title, const QString& note, const QString& key, const QString& name) {
    QString body = QStringLiteral("<p>请输入证书上的证号和持证人姓名，两项都须与证书完全一致。</p>");
    if (!note.isEmpty()) body += QStringLiteral("<p class=\"note\">%1</p>").arg(escaped(note));
    body += QStringLiteral("<form method=\"post\" action=\"/\" accept-charset=\"UTF-8\">"
                           "<label>证号<input name=\"证号\" maxlength=\"64\" required autocomplete=\"off\" value=\"%1\"></label>"
                           "<label>姓名<input name=\"姓名\" maxlength=\"32\" required autocomplete=\"off\" value=\"%2\"></label>"
                           "<button type=\"submit\">核验</button></form>")
                .arg(escaped(key), escaped(name));
    return page(title, body);
}

QByteArray notFoundPage(const QString& title) {
    return page(title, QStringLiteral("<p class=\"miss\">未找到该证书</p>"
                                      "<p>请核对证号和姓名，或扫描证书上的核验码。<a href=\"/\">按证号和姓名核验</a></p>"));
}

QByteArray tooManyPage(const QString& title) {
    return page(title, QStringLiteral("<p class=\"miss\">查询过于频繁</p><p>请一分钟后再试。</p>"));
}

QByteArray refusedPage(const QString& title, const QString& reason) {
    return page(title, QStringLiteral("<p class=\"miss\">%1</p>").arg(escaped(reason)));
}

} // namespace VerifyPages
