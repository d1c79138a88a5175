#include "data/ConnectionString.h"

#include "data/jet/JetHeader.h"

namespace {

// Blanks as OLE DB trims them around keys and unquoted values.
bool isBlank(QChar c)
{
    return c.isSpace() || c == QChar(0);
}

} // namespace

QString quotedConnectionValue(const QString &value)
{
    const bool hasDouble = value.contains(QLatin1Char('"'));
    const bool hasSingle = value.contains(QLatin1Char('\''));
    const bool needsQuotes = hasDouble || hasSingle || value.contains(QLatin1Char(';'))
                             || (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back())));
    if (!needsQuotes)
        return value;
    // The quote the value does not hold; with both, double quotes and each one doubled.
    const QChar quote = hasDouble && !hasSingle ? QLatin1Char('\'') : QLatin1Char('"');
    QString out = quote;
    for (const QChar c : value) {
        out += c;
        if (c == quote)
            out += c;
    }
    out += quote;
    return out;
}

QString connectionItemText(const QString &key, const QString &value)
{
    return key + QLatin1Char('=') + quotedConnectionValue(value);
}

bool parseConnectionString(const QString &text, QList<QPair<QString, QString>> *items, QString *error)
{
    items->clear();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype semi = text.indexOf(QLatin1Char(';'), i);
        const qsizetype itemEnd = semi < 0 ? n : semi;
        const qsizetype eq = text.indexOf(QLatin1Char('='), i);
        if (eq < 0 || eq > itemEnd) {
            // An item without "=" (or an empty one between two ";") sets nothing.
            i = itemEnd + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        qsizetype v = eq + 1;
        while (v < n && isBlank(text.at(v)) && text.at(v) != QLatin1Char(';'))
            ++v;
        QString value;
        qsizetype next;
        if (v < n && (text.at(v) == QLatin1Char('"') || text.at(v) == QLatin1Char('\''))) {
            const QChar quote = text.at(v);
            qsizetype k = v + 1;
            bool closed = false;
            while (k < n) {
                if (text.at(k) == quote) {
                    if (k + 1 < n && text.at(k + 1) == quote) {
                        value += quote;
                        k += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                value += text.at(k++);
            }
            if (!closed) {
                if (error)
                    *error = QStringLiteral("值 %1 的引号没有结束").arg(key);
                return false;
            }
            ++k;
            while (k < n && text.at(k) != QLatin1Char(';')) {
                if (!isBlank(text.at(k))) {
                    if (error)
                        *error = QStringLiteral("值 %1 的结束引号之后还有字符").arg(key);
                    return false;
                }
                ++k;
            }
            next = k;
        } else {
            qsizetype end = itemEnd;
            while (end > v && isBlank(text.at(end - 1)))
                --end;
            value = text.mid(v, end - v);
            next = itemEnd;
        }
        items->append({key, value});
        i = next + 1;
    }
    return true;
}

QString connectionValue(const QList<QPair<QString, QString>> &items, const QString &key)
{
    QString result;
    for (const auto &item : items)
        if (item.first.compare(key, Qt::CaseInsensitive) == 0)
            result = item.second;
    return result;
}

QString jetConnectionString(const QString &databasePath, const QString &password)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;")
           + connectionItemText(QStringLiteral("Jet OLEDB:Database Password"), password) + QLatin1Char(';')
           + connectionItemText(QStringLiteral("Data Source"), databasePath);
}

QString directoryConnectionString(const QString &databasePath)
{
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;User ID=Admin;Persist Security Info=False;"
                          "Jet OLEDB:Database Password=")
           + QLatin1String(jet::kDirectoryPassword) + QStringLiteral("; Mode=Share Deny None;")
           + connectionItemText(QStringLiteral("Data Source"), databasePath);
}
