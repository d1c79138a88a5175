// The INI reader: every name the file declares is looked up and compared with a slow reading
// of the same text, and every value goes through both number rules (against plain reference
// parsers) and the GBK-limited string read (against what its limit means).
#include "fuzz/FuzzSupport.h"

#include "platform/IniFile.h"

#include <QRegularExpression>
#include <QStringEncoder>
#include <QStringList>

#include <optional>

namespace {

struct Line
{
    QString section; // set on a section line
    bool isSection = false;
    QString key;
    QString value;
    bool isEntry = false;
};

QString trimmedBlanks(const QString &s)
{
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype from = 0;
    qsizetype to = s.size();
    while (from < to && blank(s.at(from)))
        ++from;
    while (to > from && blank(s.at(to - 1)))
        --to;
    return s.mid(from, to - from);
}

// The file line by line, read as plainly as possible.
std::vector<Line> slowRead(const QString &text)
{
    std::vector<Line> lines;
    static const QRegularExpression eol(QStringLiteral("\\r\\n|\\r|\\n"));
    for (const QString &raw : text.split(eol)) {
        const QString t = trimmedBlanks(raw);
        Line l;
        if (t.startsWith(QLatin1Char(';')) || t.isEmpty()) {
            lines.push_back(l);
            continue;
        }
        if (t.startsWith(QLatin1Char('[')) && t.indexOf(QLatin1Char(']')) > 0) {
            l.isSection = true;
            l.section = trimmedBlanks(t.mid(1, t.indexOf(QLatin1Char(']')) - 1));
        } else if (t.contains(QLatin1Char('='))) {
            l.isEntry = true;
            l.key = trimmedBlanks(t.section(QLatin1Char('='), 0, 0));
            l.value = trimmedBlanks(t.section(QLatin1Char('='), 1));
        }
        lines.push_back(l);
    }
    return lines;
}

std::optional<QString> slowValue(const std::vector<Line> &lines, const QString &section, const QString &key)
{
    bool inSection = false;
    bool seen = false;
    for (const Line &l : lines) {
        if (l.isSection) {
            if (seen && inSection)
                return std::nullopt; // only the first section of a name counts
            inSection = l.section.compare(section, Qt::CaseInsensitive) == 0;
            seen = seen || inSection;
        } else if (l.isEntry && inSection && l.key.compare(key, Qt::CaseInsensitive) == 0) {
            return l.value;
        }
    }
    return std::nullopt;
}

int slowProfileInt(const QString &text, int defaultValue)
{
    if (text.isEmpty())
        return defaultValue;
    static const QRegularExpression re(QStringLiteral("^[ \\t]*([+-]?)(?:0[xX]([0-9a-fA-F]*)|([0-9]*))"));
    const QRegularExpressionMatch m = re.match(text);
    const bool hex = m.capturedStart(2) >= 0;
    const QString digits = hex ? m.captured(2) : m.captured(3);
    quint64 v = 0;
    for (const QChar c : digits)
        v = (v * (hex ? 16 : 10) + quint64(QString(c).toInt(nullptr, 16))) & 0xffffffffu;
    if (m.captured(1) == QLatin1String("-"))
        v = (0x100000000ull - v) & 0xffffffffu;
    return int(qint32(quint32(v)));
}

int slowReadInteger(const QString &text, int defaultValue)
{
    static const QRegularExpression re(QStringLiteral("^([+-]?)(?:(?:\\$|0[xX])([0-9a-fA-F]{1,8})|([0-9]+))$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return defaultValue;
    const bool negative = m.captured(1) == QLatin1String("-");
    if (m.capturedStart(2) >= 0) {
        const quint32 v = m.captured(2).toUInt(nullptr, 16);
        return int(qint32(negative ? 0u - v : v));
    }
    bool ok = false;
    const qint64 v = m.captured(3).toLongLong(&ok);
    if (!ok || (negative ? -v < -2147483648LL : v > 2147483647LL))
        return defaultValue;
    return int(negative ? -v : v);
}

qsizetype gbkBytes(const QString &s)
{
    // Opening the converter costs far more than a short encoding.
    static QStringEncoder gbk("GBK");
    gbk.resetState();
    return QByteArray(gbk.encode(s)).size();
}

void checkValue(const IniFile &ini, const QString &section, const QString &key, const QString &value, int bufferSize)
{
    fuzz::check(IniFile::profileIntOf(value, 7) == slowProfileInt(value, 7), "GetPrivateProfileInt rule", value);
    fuzz::check(IniFile::readIntegerOf(value, 7) == slowReadInteger(value, 7), "ReadInteger rule", value);

    QString unquoted = value;
    if (value.size() >= 2 && (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\''))
        && value.back() == value.front())
        unquoted = value.mid(1, value.size() - 2);
    const QString s = ini.profileString(section, key, QString(), bufferSize);
    fuzz::check(unquoted.startsWith(s), "string read is not a head of the value", value);
    fuzz::check(gbkBytes(s) <= bufferSize - 1, "string read longer than its buffer", value);
    if (s.size() < unquoted.size() && bufferSize > 1) {
        // The next whole character would not have fitted (a buffer of one holds only the end mark).
        const qsizetype at = s.size();
        const qsizetype len =
            unquoted.at(at).isHighSurrogate() && at + 1 < unquoted.size() && unquoted.at(at + 1).isLowSurrogate() ? 2
                                                                                                                  : 1;
        fuzz::check(gbkBytes(unquoted.left(s.size() + len)) > bufferSize - 1, "string read cut too early", value);
    }
    fuzz::check(ini.profileInt(section, key, 7) == slowProfileInt(ini.profileString(section, key, QString(), 2048), 7),
                "profileInt differs from the rule on the string read", value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Real version files are a few lines; the slow reading is quadratic in the number of lines.
    if (size < 1 || size > 16384)
        return 0;
    // The first byte is the caller's buffer size for the string read.
    const int bufferSize = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    fuzz::OutputCatcher output;
    const IniFile ini = IniFile::fromData(bytes);
    const std::vector<Line> lines = slowRead(IniFile::decode(bytes));
    QString section;
    for (const Line &l : lines) {
        if (l.isSection)
            section = l.section;
        if (!l.isEntry)
            continue;
        const std::optional<QString> expected = slowValue(lines, section, l.key);
        const std::optional<QString> got = ini.value(section, l.key);
        fuzz::check(expected == got, "lookup differs from the slow reading", section + QLatin1Char('/') + l.key);
        if (got)
            checkValue(ini, section, l.key, *got, bufferSize);
    }
    const QByteArray printed = output.take();
    fuzz::check(printed.isEmpty(), "reading the file printed text of its own", QString::fromLocal8Bit(printed));
    return 0;
}
