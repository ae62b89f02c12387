#pragma once
// The texts of the notices to people whose review or renewal falls due, kept in the settings.

#include <QString>

// The closing text, or the delivered one until the administrator sets another.
QString noticeClosingText();
QString defaultNoticeClosingText();
void saveNoticeClosingText(const QString& text);
