#include "NoticeTexts.h"

#include "settings.h"

namespace {
const QString kSystem = QStringLiteral("System");
const QString kNoticeText = QStringLiteral("NoticeText");
} // namespace

QString defaultNoticeClosingText() {
    return QStringLiteral("请您在到期日前携带身份证、原证件及近期一寸免冠照片两张到本单位办理相关手续。"
                          "逾期未办理的，证件将失效。");
}

QString noticeClosingText() {
    return GetSetting(ProductTitle(), kSystem, kNoticeText, defaultNoticeClosingText());
}

void saveNoticeClosingText(const QString& text) {
    SaveSetting(ProductTitle(), kSystem, kNoticeText, text);
}
