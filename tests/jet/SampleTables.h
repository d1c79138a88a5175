#pragma once
// A table with every Jet 4 column type and awkward values of each, with the text our data layer
// gives for every cell; shared by the reader's tests.

#include "data/jet/Writer.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>
#include <QUuid>
#include <QVariant>
#include <QVector>

#include <vector>

namespace sample {

inline std::vector<jet::ColumnDef> columns()
{
    return {{QStringLiteral("c_bool"), jet::kBoolean, 0},      {QStringLiteral("c_byte"), jet::kByte, 0},
            {QStringLiteral("c_int"), jet::kInteger, 0},       {QStringLiteral("c_long"), jet::kLong, 0},
            {QStringLiteral("c_money"), jet::kCurrency, 0},    {QStringLiteral("c_single"), jet::kSingle, 0},
            {QStringLiteral("c_double"), jet::kDouble, 0},     {QStringLiteral("c_date"), jet::kDateTime, 0},
            {QStringLiteral("c_text"), jet::kText, 100},       {QStringLiteral("c_memo"), jet::kMemo, 0},
            {QStringLiteral("c_bin"), jet::kBinary, 0},        {QStringLiteral("c_ole"), jet::kOle, 0},
            {QStringLiteral("c_guid"), jet::kGuid, 0},         {QStringLiteral("c_dec"), jet::kDecimal, 0, 28, 6},
            {QStringLiteral("c_frac"), jet::kDecimal, 0, 4, 4}};
}

inline QString hex(const QByteArray &b)
{
    return QString::fromLatin1(b.toHex().toUpper());
}

// Row i: the values to write and the text each cell reads back as (empty for NULL, which
// `nulls` marks).
struct Row
{
    QVector<QVariant> values;
    QStringList texts;
    QVector<bool> nulls;
};

inline Row row(int i)
{
    static const char *const money[] = {"0",          "1.5", "-0.0001", "922337203685477.5807", "-922337203685477.5808",
                                        "12345.6789", "100"};
    static const float singles[] = {1.1f, -0.5f, 1234.5677f, 0.0f};
    static const char *const singleTexts[] = {"1.1", "-0.5", "1234.5677", "0"};
    static const double doubles[] = {0.1, -12345.678, 1e-7, 3.0};
    static const char *const doubleTexts[] = {"0.1", "-12345.678", "0.0000001", "3"};
    static const char *const decimals[] = {"0", "-0.5", "1234567890123456789012.123456", "1.000001", "-99"};
    const QStringList texts = {QString(),
                               QStringLiteral("plain ascii"),
                               QStringLiteral("Zürich café"),
                               QStringLiteral("北京市海淀区"),
                               QStringLiteral("mixed 混合 text"),
                               QStringLiteral("\U0001F600 beyond the BMP"),
                               QStringLiteral("一二三"),
                               QStringLiteral("Āā low byte zero")};
    const QStringList memos = {QString(), QStringLiteral("short memo"), QStringLiteral("长").repeated(1000),
                               QStringLiteral("x").repeated(9000), QStringLiteral("ü").repeated(3000)};
    const int oleSizes[] = {0, 10, 3000, 9000};

    Row r;
    auto add = [&](const QVariant &v, const QString &text) {
        r.values << v;
        r.texts << text;
        r.nulls << false;
    };
    const bool b = i % 3 == 0;
    add(b, b ? QStringLiteral("True") : QStringLiteral("False"));
    add(i % 256, QString::number(i % 256));
    const int small = (i * 37) % 65536 - 32768;
    add(small, QString::number(small));
    const qint32 big = qint32(quint32(i) * 2654435761u);
    add(big, QString::number(big));
    add(QString::fromLatin1(money[i % 7]), QString::fromLatin1(money[i % 7]));
    add(singles[i % 4], QString::fromLatin1(singleTexts[i % 4]));
    add(doubles[i % 4], QString::fromLatin1(doubleTexts[i % 4]));
    const QDateTime when(QDate(1990, 1, 1).addDays(i * 13), QTime(i % 3 ? i % 24 : 0, i % 3 ? i % 60 : 0));
    add(when, when.time() == QTime(0, 0) ? when.toString(QStringLiteral("yyyy-MM-dd"))
                                         : when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    const QString text = texts.at(i % texts.size()).isEmpty() ? QString(QLatin1String(""))
                                                              : texts.at(i % texts.size()) + QString::number(i);
    add(text, text);
    const QString memo = memos.at(i % memos.size()).isEmpty() ? QString(QLatin1String(""))
                                                              : memos.at(i % memos.size()) + QString::number(i);
    add(memo, memo);
    QByteArray bin;
    for (int k = 0; k < i % 20; ++k)
        bin.append(char((i * 7 + k * 13) & 0xFF));
    add(bin, hex(bin));
    QByteArray ole;
    for (int k = 0; k < oleSizes[i % 4]; ++k)
        ole.append(char((i + k * 31) & 0xFF));
    add(ole, hex(ole));
    const QUuid id(uint(i * 1000003), ushort(i), ushort(~i), uchar(i), 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC,
                   uchar(255 - i));
    add(id, id.toString(QUuid::WithBraces).toUpper());
    add(QString::fromLatin1(decimals[i % 5]), QString::fromLatin1(decimals[i % 5]));
    static const char *const fractions[] = {"0.1234", "-0.9999", "0", "0.0001"}; // scale = precision
    add(QString::fromLatin1(fractions[i % 4]), QString::fromLatin1(fractions[i % 4]));
    // Every column but the Yes/No one (which has no NULL) is NULL now and then.
    for (int c = 1; c < r.values.size(); ++c) {
        if ((i + c) % 11 == 0) {
            r.values[c] = QVariant();
            r.texts[c] = QString();
            r.nulls[c] = true;
        }
    }
    return r;
}

} // namespace sample
