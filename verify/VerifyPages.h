#pragma once
// The verification service's pages: plain HTML with one inline style sheet, no scripts, readable
// on a phone. Every value from the database or the request is escaped.

#include "VerifyLookup.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

namespace VerifyPages {

// The Content-Security-Policy the pages need: nothing but their own style sheet and inline photos.
QByteArray contentSecurityPolicy();

QByteArray certificatesPage(const QString& title, const QList<VerifiedCertificate>& found, const QDate& today);
// The form asking 证号 and 姓名; `note` says why the last request was not answered, and what
// was typed stays in the fields.
QByteArray formPage(const QString& title, const QString& note = {}, const QString& key = {}, const QString& name = {});
QByteArray notFoundPage(const QString& title);
QByteArray tooManyPage(const QString& title);
QByteArray refusedPage(const QString& title, const QString& reason);

} // namespace VerifyPages
