#include "tools/CsvTable.h"

#include "base/Utf8.h"
#include "data/jet/DirectorySchema.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

namespace {

// Characters of a bad value that a message repeats; a 50 MB value must not become a 50 MB message.
constexpr int kQuotedChars = 40;

QDateTime parseDate(const QString &s)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}):(\\d{2}))?\\z"));
    const QRegularExpressionMatch m = re.match(s);
    if (!m.hasMatch())
        return QDateTime();
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    QTime time(0, 0);
    if (m.lastCapturedIndex() >= 4 && !m.captured(4).isEmpty())
        time = QTime(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

// A whole number: blanks around it, an optional sign, ASCII digits, nothing else (a NUL or
// other character after the digits makes it no number), within 32 bits.
int parseLong(const QString &s, bool *ok)
{
    static const QRegularExpression re(QStringLiteral("^[ \\t]*([+-]?[0-9]+)[ \\t]*\\z"));
    const QRegularExpressionMatch m = re.match(s);
    *ok = false;
    if (!m.hasMatch())
        return 0;
    bool fits = false;
    const qlonglong v = m.captured(1).toLongLong(&fits);
    if (!fits || v < -2147483648LL || v > 2147483647LL)
        return 0;
    *ok = true;
    return int(v);
}

// UTF-8 as characters, a U+FEFF at the start included (QString::fromUtf8 drops it there).
QString utf8Text(const QByteArray &bytes)
{
    static const QByteArray mark("\xef\xbb\xbf");
    qsizetype marks = 0;
    while (bytes.mid(marks * 3, 3) == mark)
        ++marks;
    return QString(marks, QChar(0xFEFF)) + QString::fromUtf8(bytes.constData() + marks * 3, bytes.size() - marks * 3);
}

} // namespace

QString quotedValue(const QString &value)
{
    QString out = QStringLiteral("\"");
    int shown = 0;
    qsizetype i = 0;
    for (; i < value.size() && shown < kQuotedChars; ++shown) {
        const QChar c = value.at(i);
        // A surrogate pair is one character and stays whole.
        const qsizetype len = (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const ushort u = c.unicode();
        if (u == '\n')
            out += QLatin1String("\\n");
        else if (u == '\r')
            out += QLatin1String("\\r");
        else if (u == '\t')
            out += QLatin1String("\\t");
        else if (u == '\\')
            out += QLatin1String("\\\\");
        else if (u < 0x20 || u == 0x7f)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QStringView(value).mid(i, len);
        i += len;
    }
    out += QLatin1Char('"');
    if (i < value.size())
        out += QStringLiteral("...（共 %1 个字符）").arg(value.size());
    return out;
}

CsvTable::CsvTable(const jet::TableDef &def, const QString &path) : m_def(def), m_path(path), m_reader(path)
{
    QString openError;
    if (!m_reader.open(&openError))
        throw CsvTableError{QStringLiteral("%1: 无法打开: %2").arg(path, openError)};
    try {
        readHeader();
    } catch (const CsvError &e) {
        throw error(e.line, QString(), e.message);
    }
}

CsvTableError CsvTable::error(qint64 line, const QString &column, const QString &what) const
{
    if (column.isEmpty())
        return CsvTableError{QStringLiteral("%1:%2: %3").arg(m_path).arg(line).arg(what)};
    return CsvTableError{QStringLiteral("%1:%2: 列 %3: %4").arg(m_path).arg(line).arg(column, what)};
}

void CsvTable::readHeader()
{
    if (!m_reader.next(m_fields))
        throw error(1, QString(), QStringLiteral("文件为空，第一行应是列名"));
    std::vector<bool> used(m_def.columns.size(), false);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (!utf8::isValid(m_fields[i].bytes))
            throw error(m_reader.recordLine(), QString::number(i + 1), QStringLiteral("列名不是有效的 UTF-8"));
        const QString name = utf8Text(m_fields[i].bytes);
        int found = -1;
        for (size_t c = 0; c < m_def.columns.size(); ++c)
            if (m_def.columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                found = int(c);
        if (found < 0) {
            QStringList known;
            for (const jet::ColumnDef &c : m_def.columns)
                known << c.name;
            throw error(
                m_reader.recordLine(), quotedValue(name),
                QStringLiteral("表 %1 没有这一列（它的列: %2）").arg(m_def.name, known.join(QStringLiteral(", "))));
        }
        if (used[found])
            throw error(m_reader.recordLine(), name, QStringLiteral("在列名行中出现了两次"));
        used[found] = true;
        m_columnOf.push_back(found);
    }
    // With one column a blank line is a record whose field is NULL; with more it cannot be one.
    m_reader.setBlankLineIsRecord(m_columnOf.size() == 1);
}

bool CsvTable::next(QVector<QVariant> &values)
{
    try {
        if (!m_reader.next(m_fields))
            return false;
    } catch (const CsvError &e) {
        throw error(e.line, QString(), e.message);
    }
    const qint64 line = m_reader.recordLine();
    if (m_fields.size() != m_columnOf.size())
        throw error(line, QString(),
                    QStringLiteral("有 %1 个字段，列名行有 %2 个").arg(m_fields.size()).arg(m_columnOf.size()));
    values.fill(QVariant(), qsizetype(m_def.columns.size()));
    for (size_t i = 0; i < m_fields.size(); ++i)
        values[m_columnOf[i]] = convert(m_fields[i], m_def.columns[m_columnOf[i]], line);
    return true;
}

QVariant CsvTable::convert(const CsvReader::Field &f, const jet::ColumnDef &col, qint64 line) const
{
    if (f.bytes.isEmpty() && !f.quoted)
        return QVariant(); // NULL
    if (!utf8::isValid(f.bytes))
        throw error(line, col.name, QStringLiteral("文本不是有效的 UTF-8"));
    const QString s = utf8Text(f.bytes);
    switch (col.type) {
    case jet::kText:
        if (s.size() > col.maxChars)
            throw error(line, col.name,
                        QStringLiteral("值过长（%1 个字符，最多 %2 个）").arg(s.size()).arg(col.maxChars));
        return s;
    case jet::kMemo: return s;
    case jet::kLong: {
        bool ok = false;
        const int n = parseLong(s, &ok);
        if (!ok)
            throw error(line, col.name,
                        QStringLiteral("不是长整型数 (-2147483648..2147483647): %1").arg(quotedValue(s)));
        return n;
    }
    case jet::kDateTime: {
        const QDateTime dt = parseDate(s);
        if (!dt.isValid())
            throw error(line, col.name,
                        QStringLiteral("不是日期（yyyy-MM-dd 或 yyyy-MM-dd hh:mm:ss）: %1").arg(quotedValue(s)));
        // The range a Date/Time column holds.
        if (dt.date().year() < 100)
            throw error(line, col.name,
                        QStringLiteral("日期不在 0100-01-01 ... 9999-12-31 之内: %1").arg(quotedValue(s)));
        return dt;
    }
    }
    return QVariant();
}
