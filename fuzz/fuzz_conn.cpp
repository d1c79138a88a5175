// Connection strings: any text is read without fault, and what is read comes back the same when
// written again; a path and a password of any characters, written into a string, are read back as
// they were, and nothing else (a path cannot add or change an item).
//
// Input: UTF-8 text. Read whole as a connection string; split at its first NUL into a path and a
// password that are written into one.
#include "fuzz/FuzzSupport.h"

#include "data/ConnectionString.h"
#include "data/jet/JetHeader.h"

#include <QStringList>

namespace {

using Items = QList<QPair<QString, QString>>;

QString describe(const Items &items)
{
    QStringList parts;
    for (const auto &item : items)
        parts << QStringLiteral("[%1]=[%2]").arg(item.first, item.second);
    return parts.join(QLatin1Char(' '));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    Items items;
    QString error;
    if (parseConnectionString(text, &items, &error)) {
        QStringList written;
        for (const auto &item : items)
            written << connectionItemText(item.first, item.second);
        Items again;
        fuzz::check(parseConnectionString(written.join(QLatin1Char(';')), &again), "written items do not read back");
        fuzz::check(again == items, "items changed on the way back",
                    describe(items) + QStringLiteral(" / ") + describe(again));
    } else {
        fuzz::check(!error.isEmpty() && fuzz::hasChinese(error), "a refused string without a Chinese reason", error);
    }

    const qsizetype nul = text.indexOf(QChar(0));
    const QString path = nul < 0 ? text : text.left(nul);
    const QString password = nul < 0 ? QString() : text.mid(nul + 1);
    for (const QString &built : {jetConnectionString(path, password), directoryConnectionString(path)}) {
        Items read;
        fuzz::check(parseConnectionString(built, &read), "a built string is refused", built);
        fuzz::check(connectionValue(read, QStringLiteral("Data Source")) == path, "the path changed", built);
        const QString expected = built.startsWith(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID"))
                                     ? QString::fromLatin1(jet::kDirectoryPassword)
                                     : password;
        fuzz::check(connectionValue(read, QStringLiteral("Jet OLEDB:Database Password")) == expected,
                    "the password changed", built);
        fuzz::check(read.size()
                        == (built.startsWith(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID")) ? 6 : 3),
                    "a value added an item", describe(read));
    }
    return 0;
}
