#include "platform/IniFile.h"
#include "base/Utf8.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdint>

namespace {

// Blanks as the profile functions see them: spaces and tabs.
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s.at(b)))
        ++b;
    while (e > b && isBlank(s.at(e - 1)))
        --e;
    return s.mid(b, e - b).toString();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

int hexDigit(QChar c)
{
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

int decDigit(QChar c)
{
    const ushort u = c.unicode();
    return (u >= '0' && u <= '9') ? u - '0' : -1;
}

} // namespace

IniFile::IniFile(const QString &path)
{
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        parse(decode(f.readAll()));
}

IniFile IniFile::fromData(const QByteArray &data)
{
    IniFile ini;
    ini.parse(decode(data));
    return ini;
}

QString IniFile::decode(const QByteArray &data)
{
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.mid(3));
    if (data.startsWith("\xFF\xFE")) {
        QStringDecoder d(QStringDecoder::Utf16LE);
        return d.decode(data.mid(2));
    }
    if (data.startsWith("\xFE\xFF")) {
        QStringDecoder d(QStringDecoder::Utf16BE);
        return d.decode(data.mid(2));
    }
    if (utf8::isValid(data))
        return QString::fromUtf8(data);
    QStringDecoder gbk("GBK");
    if (gbk.isValid())
        return gbk.decode(data);
    return QString::fromLatin1(data);
}

void IniFile::parse(const QString &text)
{
    Section *current = nullptr;
    qsizetype pos = 0;
    const qsizetype n = text.size();
    while (pos < n) {
        qsizetype end = pos;
        while (end < n && text.at(end) != QLatin1Char('\n') && text.at(end) != QLatin1Char('\r'))
            ++end;
        const QStringView line = QStringView(text).mid(pos, end - pos);
        // CR LF counts as one line end.
        pos = end;
        if (pos < n && text.at(pos) == QLatin1Char('\r'))
            ++pos;
        if (pos < n && text.at(pos) == QLatin1Char('\n'))
            ++pos;

        const QString t = trimBlanks(line);
        if (t.isEmpty() || t.startsWith(QLatin1Char(';')))
            continue;
        if (t.startsWith(QLatin1Char('['))) {
            const qsizetype close = t.indexOf(QLatin1Char(']'));
            if (close > 0) {
                m_sections.append(Section{trimBlanks(QStringView(t).mid(1, close - 1)), {}});
                current = &m_sections.last();
                continue;
            }
        }
        if (!current)
            continue;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq < 0)
            continue;
        current->entries.append(Entry{trimBlanks(QStringView(t).left(eq)), trimBlanks(QStringView(t).mid(eq + 1))});
    }
}

std::optional<QString> IniFile::value(const QString &section, const QString &key) const
{
    // The same blanks come off as off the file's names, or a name the file declares could not be found.
    const QString s = trimBlanks(section);
    const QString k = trimBlanks(key);
    for (const Section &sec : m_sections) {
        if (!sameName(sec.name, s))
            continue;
        // Only the first section of a name is searched, as the profile functions do.
        for (const Entry &e : sec.entries) {
            if (sameName(e.key, k))
                return e.value;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

int IniFile::profileIntOf(const QString &text, int defaultValue)
{
    if (text.isEmpty())
        return defaultValue;
    qsizetype i = 0;
    while (i < text.size() && isBlank(text.at(i)))
        ++i;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i + 1 < text.size() && text.at(i) == QLatin1Char('0')
        && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    // Unsigned arithmetic: an overlong number wraps instead of overflowing.
    std::uint32_t result = 0;
    for (; i < text.size(); ++i) {
        const int d = base == 16 ? hexDigit(text.at(i)) : decDigit(text.at(i));
        if (d < 0)
            break;
        result = result * std::uint32_t(base) + std::uint32_t(d);
    }
    if (negative)
        result = 0u - result;
    return static_cast<std::int32_t>(result);
}

int IniFile::readIntegerOf(const QString &text, int defaultValue)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text.at(i) == QLatin1Char('$')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text.at(i) == QLatin1Char('0')
               && (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return defaultValue;

    if (hex) {
        // Up to 32 bits; a value above 0x7FFFFFFF stands for the negative number of its bits.
        if (text.size() - i > 8)
            return defaultValue;
        std::uint32_t result = 0;
        for (; i < text.size(); ++i) {
            const int d = hexDigit(text.at(i));
            if (d < 0)
                return defaultValue;
            result = result * 16u + std::uint32_t(d);
        }
        if (negative)
            result = 0u - result;
        return static_cast<std::int32_t>(result);
    }

    std::int64_t result = 0;
    for (; i < text.size(); ++i) {
        const int d = decDigit(text.at(i));
        if (d < 0)
            return defaultValue;
        result = result * 10 + d;
        if (result > std::int64_t(2147483648LL))
            return defaultValue;
    }
    if (negative)
        result = -result;
    if (result > 2147483647LL || result < -2147483648LL)
        return defaultValue;
    return static_cast<int>(result);
}

int IniFile::profileInt(const QString &section, const QString &key, int defaultValue) const
{
    // Read as a string first, as the profile functions do: matching quotes come off.
    return profileIntOf(profileString(section, key, QString(), 2048), defaultValue);
}

int IniFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
    // The framework reads the value through a 2048-character string buffer first.
    const QString v = profileString(section, key, QString(), 2048);
    return readIntegerOf(v, defaultValue);
}

QString IniFile::profileString(const QString &section, const QString &key, const QString &defaultValue,
                               int bufferSize) const
{
    if (bufferSize <= 0)
        return QString();
    const auto found = value(section, key);
    QString v = found ? *found : defaultValue;
    if (found && v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\''))
        && v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return truncateToGbkBytes(v, bufferSize - 1);
}

QString IniFile::truncateToGbkBytes(const QString &text, int maxBytes)
{
    if (maxBytes <= 0)
        return QString();
    // Fast path: every character takes at least one byte.
    if (text.size() <= maxBytes / 2)
        return text;
    QStringEncoder gbk("GBK");
    qsizetype used = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        // A surrogate pair is one character.
        const qsizetype len =
            (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ? 2 : 1;
        const QStringView ch = QStringView(text).mid(i, len);
        qsizetype bytes;
        if (gbk.isValid()) {
            bytes = QByteArray(gbk.encode(ch)).size();
        } else {
            // Without a GBK codec every non-ASCII character is taken as a double-byte one.
            bytes = ch.at(0).unicode() < 0x80 ? 1 : 2;
        }
        if (used + bytes > maxBytes)
            break;
        used += bytes;
        i += len;
    }
    return text.left(i);
}
