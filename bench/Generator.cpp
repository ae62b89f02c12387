#include "Generator.h"

#include <QBuffer>
#include <QDate>
#include <QImage>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QVector>

namespace {

const QStringList kSurnames =
    QString::fromUtf8("王 李 张 刘 陈 杨 黄 赵 吴 周 徐 孙 马 朱 胡 郭 何 高 林 罗 郑 梁 谢 宋 唐 许 韩 冯 "
                      "邓 曹 彭 曾 肖 田 董 袁 潘 于 蒋 蔡 余 杜 叶 程 苏 魏 吕 丁 任 沈")
        .split(QLatin1Char(' '));
const QString kGivenChars = QString::fromUtf8("伟芳娜秀英敏静丽强磊军洋勇艳杰娟涛明超秀兰霞平刚桂英华建国建华"
                                              "志强文俊海燕红梅玉兰晓东晓明春梅金凤德明永刚宏伟");
const QStringList kEducation =
    QString::fromUtf8("小学 初中 高中 中专 技校 大专 本科").split(QLatin1Char(' '));
const QStringList kTrades =
    QString::fromUtf8("电工 焊工 架子工 起重工 司炉工 电梯操作工 压力容器操作工").split(QLatin1Char(' '));
const QStringList kLevels = QString::fromUtf8("初级 中级 高级 技师 高级技师").split(QLatin1Char(' '));
const QStringList kRegions = {QStringLiteral("110101"), QStringLiteral("310104"), QStringLiteral("440106"),
                              QStringLiteral("320102"), QStringLiteral("510104"), QStringLiteral("420102")};

QString identityNumber(QRandomGenerator& random, const QDate& birth) {
    QString body = kRegions[random.bounded(kRegions.size())] + birth.toString(QStringLiteral("yyyyMMdd")) +
                   QStringLiteral("%1").arg(random.bounded(1000), 3, 10, QLatin1Char('0'));
    static const int weights[] = {7, 9, 10, 5, 8, 4, 2, 1, 6, 3, 7, 9, 10, 5, 8, 4, 2};
    int sum = 0;
    for (int i = 0; i < 17; ++i)
        sum += body[i].digitValue() * weights[i];
    return body + QStringLiteral("10X98765432").at(sum % 11);
}

QDate dateBetween(QRandomGenerator& random, const QDate& from, int days) {
    return from.addDays(random.bounded(days));
}

// A few distinct photos of 10-20 KB, reused across records.
QVector<QByteArray> makePhotos(QRandomGenerator& random) {
    QVector<QByteArray> photos;
    for (int n = 0; n < 6; ++n) {
        QImage image(132, 160, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y,
                               qRgb((x * 2 + n * 40) % 256, (y + random.bounded(48)) % 256, (x + y) % 256));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPG", 70);
        photos.append(bytes);
    }
    return photos;
}

} // namespace

QString generateCertificates(QSqlDatabase db, bool postgres, const GeneratorOptions& options) {
    QRandomGenerator random(options.seed);
    const QVector<QByteArray> photos = makePhotos(random);
    const auto dateValue = [postgres](const QDate& d) {
        return postgres ? QVariant(d) : QVariant(d.toString(Qt::ISODate));
    };
    QSqlQuery insert(db);
    if (!insert.prepare(QStringLiteral(
            "INSERT INTO DangAnKu (证号, 姓名, 性别, 出生年月, 照片, 身份证号, 理论成绩, 证书编号, "
            "文化程度, 实操成绩, 评定成绩, 发证日期, 一次复审, 二次复审, 换证日期, 职业工种, 证书级别, 备注) "
            "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")))
        return insert.lastError().text();
    constexpr qint64 kBatch = 20000;
    for (qint64 i = 0; i < options.records; ++i) {
        if (i % kBatch == 0 && !db.transaction()) return db.lastError().text();
        const QDate issued = dateBetween(random, QDate(2006, 1, 1), 20 * 365);
        const QDate birth = dateBetween(random, QDate(1955, 1, 1), 45 * 365);
        // Keys the office really types: year-number pairs and plain numbers.
        const QString key = i % 3 == 0
                                ? QStringLiteral("%1-%2").arg(issued.year()).arg(i, 7, 10, QLatin1Char('0'))
                                : QString::number(100000 + i);
        QString name = kSurnames[random.bounded(kSurnames.size())];
        for (int c = 0, n = 1 + random.bounded(2); c < n; ++c)
            name += kGivenChars[random.bounded(kGivenChars.size())];
        const bool withPhoto = random.generateDouble() < options.photoShare;
        const QVariantList values = {
            key,
            name,
            random.bounded(4) == 0 ? QStringLiteral("女") : QStringLiteral("男"),
            dateValue(birth),
            withPhoto ? QVariant(photos[random.bounded(photos.size())])
                      : QVariant(QMetaType(QMetaType::QByteArray)),
            identityNumber(random, birth),
            QString::number(60 + random.bounded(41)),
            QStringLiteral("ZS%1").arg(i, 8, 10, QLatin1Char('0')),
            kEducation[random.bounded(kEducation.size())],
            QString::number(60 + random.bounded(41)),
            random.bounded(10) == 0 ? QStringLiteral("不合格") : QStringLiteral("合格"),
            dateValue(issued),
            dateValue(issued.addYears(3)),
            dateValue(issued.addYears(6)),
            dateValue(issued.addYears(9)),
            kTrades[random.bounded(kTrades.size())],
            kLevels[random.bounded(kLevels.size())],
            random.bounded(20) == 0 ? QStringLiteral("补证") : QString(),
        };
        for (int v = 0; v < values.size(); ++v)
            insert.bindValue(v, values[v]);
        if (!insert.exec()) return insert.lastError().text();
        if ((i + 1) % kBatch == 0 || i + 1 == options.records)
            if (!db.commit()) return db.lastError().text();
    }
    return {};
}
