#include "tools/QueryCommand.h"

#include "base/Utf8.h"
#include "data/Connection.h"
#include "data/ConnectionString.h"
#include "data/DatabaseError.h"
#include "data/Query.h"
#include "data/SqlEngine.h"
#include "tools/CsvReader.h"
#include "tools/ToolSupport.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSet>

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <string_view>

namespace {

const char kQueryHelp[] =
    "usage: lssdb query FILE \"SQL\"|- [--param NAME=VALUE]... [--password P] [--format tsv|csv|json] [--timing]\n"
    "\n"
    "Runs one statement on the database FILE through the program's own data layer (its\n"
    "connection string, password check and engine) and prints the result.\n"
    "The statement is passed as it is given, line breaks included; - reads it from standard\n"
    "input (UTF-8). Every option with a value may also be written --option=value.\n"
    "--format tsv (the default): tab-separated lines, the field names first, then one line per\n"
    "    record, then \"N records\". A tab, line break or backslash inside a name or value is\n"
    "    written as \\t, \\n, \\r or \\\\.\n"
    "--format csv: RFC 4180, the field names first; NULL is an empty unquoted field and the\n"
    "    empty text \"\" (as lssdb build reads them).\n"
    "--format json: an array of objects, one per record: numbers as numbers, Yes/No columns\n"
    "    as true and false, NULL as null, everything else (texts of digits too) as strings.\n"
    "    A field whose name an earlier field has is keyed NAME_2 (NAME_3, ...).\n"
    "Numbers are written alike in every format and by lssdb export: the shortest digits that\n"
    "read back as the same value, an exponent only below 1e-7 or from 1e21 (1e308), -0, NaN,\n"
    "Infinity and -Infinity (strings in JSON).\n"
    "Parameters are written :NAME in the statement and compared as text.\n"
    "--password gives the database password (default: the program's own; '' for none).\n"
    "--timing adds the times of connecting and of running the statement on stderr.\n"
    "On an error the message goes to stderr and the exit code is 1. A result of more than 8\n"
    "megabytes is written as it is read: an error after that leaves the records written so\n"
    "far, without the closing \"N records\" line (tsv) or \"]\" (json).\n";

// A value on its line: tab, line breaks and the backslash written as \t, \n, \r and \\, so
// every record stays one line of fields. The engine's bytes go out as they are.
void appendEscaped(std::string &out, std::string_view value)
{
    size_t from = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        // Only these four are written otherwise; one test passes over every other byte.
        if (c != '\t' && c != '\n' && c != '\r' && c != '\\')
            continue;
        out.append(value.data() + from, i - from);
        out.append(c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\\\", 2);
        from = i + 1;
    }
    out.append(value.data() + from, value.size() - from);
}

void writeUtf8(std::FILE *out, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
}

// Output is held back until it passes this size: a statement that fails before then prints
// nothing but its error, as one that fails at once. A larger result goes out as it is made, so
// a failure after that leaves the records written so far, without the end of the output.
constexpr size_t kHoldBack = size_t(8) << 20;
bool g_streaming = false;

// Room for the output held back, taken at once: grown by doubling instead, the buffer would be
// copied whole at each step, the last time with 8 MB held, and the copy would briefly hold the
// old and the new block (the process's peak). Pages not written are not taken from the system.
template <class Buffer>
void reserveHoldBack(Buffer &out)
{
    out.reserve(decltype(out.size())(kHoldBack + (size_t(1) << 20)));
}

template <class Buffer>
void flush(Buffer &out, bool force = false)
{
    if (force || size_t(out.size()) >= (g_streaming ? size_t(1) << 16 : kHoldBack)) {
        std::fwrite(out.data(), 1, size_t(out.size()), stdout);
        out.clear();
        g_streaming = true;
    }
}
// After a failure: what is held back is dropped, unless records have gone out already.
template <class Buffer>
void abandon(Buffer &out)
{
    if (g_streaming)
        flush(out, true);
}

// Writes a result as its rows come: the names first, then each row, then what ends the
// output once the last row is out (see kHoldBack for a statement that fails half-way).
class Writer
{
public:
    virtual ~Writer() = default;
    virtual void begin(const QStringList &fields, const SqlEngine::ValueTypes &types) = 0;
    virtual void row(const std::string_view *cells, const unsigned char *types) = 0;
    virtual void end() = 0;

protected:
    long long m_rows = 0;
};

class TsvWriter : public Writer
{
public:
    void begin(const QStringList &fields, const SqlEngine::ValueTypes &) override
    {
        reserveHoldBack(m_out);
        m_fields = int(fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            if (f)
                m_out += '\t';
            const QByteArray name = fields.at(f).toUtf8();
            appendEscaped(m_out, std::string_view(name.constData(), size_t(name.size())));
        }
        m_out += '\n';
    }
    void row(const std::string_view *cells, const unsigned char *) override
    {
        for (int f = 0; f < m_fields; ++f) {
            if (f)
                m_out += '\t';
            appendEscaped(m_out, cells[f]);
        }
        m_out += '\n';
        flush(m_out);
        ++m_rows;
    }
    void end() override
    {
        m_out += std::to_string(m_rows) + " records\n";
        flush(m_out, true);
    }
    ~TsvWriter() override { abandon(m_out); }

private:
    int m_fields = 0;
    std::string m_out;
};

class CsvWriter : public Writer
{
public:
    void begin(const QStringList &fields, const SqlEngine::ValueTypes &) override
    {
        reserveHoldBack(m_out);
        m_fields = size_t(fields.size());
        for (int f = 0; f < fields.size(); ++f) {
            if (f)
                m_out.append(',');
            const QByteArray name = fields.at(f).toUtf8();
            appendCsvField(m_out, std::string_view(name.constData(), size_t(name.size())), false);
        }
        m_out.append("\r\n");
    }
    void row(const std::string_view *cells, const unsigned char *types) override
    {
        for (size_t f = 0; f < m_fields; ++f) {
            if (f)
                m_out.append(',');
            appendCsvField(m_out, cells[f], types[f] == SQLITE_NULL);
        }
        m_out.append("\r\n");
        flush(m_out);
        ++m_rows;
    }
    void end() override { flush(m_out, true); }
    ~CsvWriter() override { abandon(m_out); }

private:
    size_t m_fields = 0;
    QByteArray m_out;
};

void appendJsonString(QByteArray &out, std::string_view bytes)
{
    QByteArray valid;
    if (!utf8::isValid(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())))) {
        // A blob or a cast made by the statement: its bytes as characters, the others replaced.
        valid = QString::fromUtf8(bytes.data(), qsizetype(bytes.size())).toUtf8();
        bytes = std::string_view(valid.constData(), size_t(valid.size()));
    }
    out.append('"');
    for (char c : bytes) {
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        default:
            if (static_cast<unsigned char>(c) < 0x20)
                out.append("\\u00").append("0123456789abcdef"[(c >> 4) & 1]).append("0123456789abcdef"[c & 15]);
            else
                out.append(c);
        }
    }
    out.append('"');
}

void appendJsonValue(QByteArray &out, std::string_view bytes, int type, bool yesNo, bool exact)
{
    static const QRegularExpression number(QStringLiteral("^-?(0|[1-9][0-9]*)(\\.[0-9]+)?([eE][+-]?[0-9]+)?\\z"));
    switch (type) {
    case SQLITE_NULL: out.append("null"); return;
    case SQLITE_TEXT:
        if (yesNo && (bytes == "True" || bytes == "False")) {
            out.append(bytes == "True" ? "true" : "false");
            return;
        }
        if (!exact)
            break;
        // An exact decimal is kept as its text, which is a JSON number as it stands.
        Q_FALLTHROUGH();
    case SQLITE_INTEGER:
    case SQLITE_FLOAT:
        // NaN and the infinities have no JSON number: they stay text.
        if (number.match(QString::fromLatin1(bytes.data(), qsizetype(bytes.size()))).hasMatch()) {
            out.append(bytes.data(), qsizetype(bytes.size()));
            return;
        }
        break;
    default: break;
    }
    appendJsonString(out, bytes);
}

// An object keeps one value per key: a field whose name an earlier field has is keyed NAME_2,
// NAME_3, ... (the first number no field is named), so every value of the row stays in it.
QStringList uniqueKeys(const QStringList &fields)
{
    QSet<QString> used(fields.cbegin(), fields.cend());
    QSet<QString> seen;
    QStringList keys;
    for (const QString &name : fields) {
        QString key = name;
        if (seen.contains(name)) {
            for (int n = 2; used.contains(key); ++n)
                key = QStringLiteral("%1_%2").arg(name).arg(n);
            used.insert(key);
        }
        seen.insert(name);
        keys << key;
    }
    return keys;
}

class JsonWriter : public Writer
{
public:
    void begin(const QStringList &fields, const SqlEngine::ValueTypes &types) override
    {
        reserveHoldBack(m_out);
        m_types = types;
        for (const QString &name : uniqueKeys(fields)) {
            QByteArray key;
            const QByteArray utf8 = name.toUtf8();
            appendJsonString(key, std::string_view(utf8.constData(), size_t(utf8.size())));
            m_names.push_back(key + ": ");
        }
        m_out.append('[');
    }
    void row(const std::string_view *cells, const unsigned char *types) override
    {
        m_out.append(m_rows ? ",\n{" : "\n{");
        for (size_t f = 0; f < m_names.size(); ++f) {
            if (f)
                m_out.append(", ");
            m_out.append(m_names[f]);
            appendJsonValue(m_out, cells[f], types[f], m_types.yesNo[f], m_types.exact[f]);
        }
        m_out.append('}');
        flush(m_out);
        ++m_rows;
    }
    void end() override
    {
        m_out.append("\n]\n");
        flush(m_out, true);
    }
    ~JsonWriter() override { abandon(m_out); }

private:
    SqlEngine::ValueTypes m_types;
    std::vector<QByteArray> m_names;
    QByteArray m_out;
};

} // namespace

int runQueryCommand(const QStringList &args)
{
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        std::fputs(kQueryHelp, stdout);
        return 0;
    }
    ToolOptions options;
    QString error;
    if (!parseOptions(args, {QStringLiteral("--timing")}, {QStringLiteral("--param"), QStringLiteral("--format")},
                      &options, &error)) {
        printError(QStringLiteral("query"), error);
        return 1;
    }
    QList<QPair<QString, QString>> params;
    QString format = QStringLiteral("tsv");
    for (const auto &option : options.values) {
        if (option.first == QLatin1String("--format")) {
            format = option.second;
            if (format != QLatin1String("tsv") && format != QLatin1String("csv") && format != QLatin1String("json")) {
                printError(QStringLiteral("query"),
                           QStringLiteral("未知的输出格式 %1（可用 tsv、csv、json）").arg(format));
                return 1;
            }
            continue;
        }
        const int eq = int(option.second.indexOf(QLatin1Char('=')));
        if (eq <= 0) {
            printError(QStringLiteral("query"), QStringLiteral("--param 需要 NAME=VALUE 形式的值"));
            return 1;
        }
        params.append({option.second.left(eq), option.second.mid(eq + 1)});
    }
    if (options.positional.size() != 2) {
        printError(QStringLiteral("query"),
                   QStringLiteral("需要数据库文件和一条语句: lssdb query FILE \"SQL\"（lssdb query --help 显示用法）"));
        return 1;
    }

    QString statement = options.positional.at(1);
    if (statement == QLatin1String("-")) {
        QByteArray text;
        char chunk[1 << 16];
        size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0)
            text.append(chunk, qsizetype(n));
        if (std::ferror(stdin) || !utf8::isValid(text)) {
            printError(QStringLiteral("query"), std::ferror(stdin) ? QStringLiteral("无法从标准输入读取语句")
                                                                   : QStringLiteral("标准输入的语句不是有效的 UTF-8"));
            return 1;
        }
        statement = QString::fromUtf8(text);
    }

    try {
        QElapsedTimer timer;
        timer.start();
        Connection connection;
        const QString &file = options.positional.at(0);
        connection.setConnectionString(options.hasPassword ? jetConnectionString(file, options.password)
                                                           : directoryConnectionString(file));
        connection.setConnected(true);
        const qint64 connectMs = timer.elapsed();

        Query query;
        query.setConnection(&connection);
        query.SQL().Clear();
        // As given: a line break may be inside a literal. "-" reads it from standard input.
        query.SQL().Add(statement);
        for (const auto &p : params)
            query.ParamByName(p.first)->setValue(p.second);
        static char buffer[1 << 16];
        std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
        std::unique_ptr<Writer> writer;
        if (format == QLatin1String("csv"))
            writer = std::make_unique<CsvWriter>();
        else if (format == QLatin1String("json"))
            writer = std::make_unique<JsonWriter>();
        else
            writer = std::make_unique<TsvWriter>();
        // Rows go out as the engine makes them: the whole result is never held.
        timer.restart();
        query.Stream([&](const QStringList &names, const SqlEngine::ValueTypes &types) { writer->begin(names, types); },
                     [&](const std::string_view *cells, const unsigned char *types) { writer->row(cells, types); });
        const qint64 openMs = timer.elapsed();
        writer->end();
        writer.reset();
        // Output that did not all arrive (a full disk, a closed pipe) is no success.
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            writeUtf8(stderr, QStringLiteral("无法写出查询结果。\n"));
            return 1;
        }
        if (options.flags.contains(QLatin1String("--timing")))
            std::fprintf(stderr, "connect %lld ms, open %lld ms\n", qint64(connectMs), qint64(openMs));
        return 0;
    } catch (const Exception &e) {
        std::fflush(stdout);
        writeUtf8(stderr, e.message() + QLatin1Char('\n'));
        return 1;
    }
}
