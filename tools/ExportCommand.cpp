#include "tools/ExportCommand.h"

#include "data/DatabaseError.h"
#include "data/jet/JetError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetTypes.h"
#include "tools/ToolSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstdio>
#include <memory>

namespace {

// A table's file name: its name with "%", "/" and control characters written as %XX, so every
// Jet name gives a file of its own inside OUTDIR (the directory's names come out as they are).
QString fileNameOf(const QString &table)
{
    QString out;
    for (const QChar c : table) {
        if (c == u'%' || c == u'/' || c == u'\\' || c.unicode() < 0x20)
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out + QStringLiteral(".csv");
}

bool plain(double v)
{
    const double magnitude = std::fabs(v);
    return magnitude == 0 || (magnitude >= 1e-6 && magnitude < 1e21);
}

// Writes each row as it is read: a table of any size needs memory for one row.
class CsvSink : public JetRowSink
{
public:
    explicit CsvSink(QSaveFile &file) : m_file(file) {}

    void begin(const QVector<JetColumn> &columns) override
    {
        for (int c = 0; c < columns.size(); ++c) {
            if (c)
                m_out.append(',');
            const QByteArray name = columns.at(c).name.toUtf8();
            appendCsvField(m_out, std::string_view(name.constData(), size_t(name.size())), false);
        }
        m_out.append("\r\n");
    }

    void row(const std::vector<JetCell> &cells) override
    {
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c)
                m_out.append(',');
            const JetCell &cell = cells[c];
            switch (cell.storage) {
            case JetCell::Null: break;
            case JetCell::Integer: m_out.append(QByteArray::number(cell.integer)); break;
            case JetCell::Real:
                // The shortest digits that read back as the same number: plain decimals as the
                // data layer shows them, an exponent only far from 1 (where they would run long).
                m_out.append(
                    QByteArray::number(cell.real, plain(cell.real) ? 'f' : 'g', QLocale::FloatingPointShortest));
                break;
            case JetCell::Text: appendCsvField(m_out, cell.text, false); break;
            }
        }
        m_out.append("\r\n");
        if (m_out.size() >= (1 << 16))
            flush();
    }

    void flush()
    {
        if (m_file.write(m_out) != m_out.size())
            throw EDatabaseError(QStringLiteral("无法写入 %1: %2").arg(m_file.fileName(), fileErrorText(m_file)));
        m_out.clear();
    }

private:
    QSaveFile &m_file;
    QByteArray m_out;
};

// The type as Access names it, with the size of a Text column and the digits of a Decimal.
QString typeLabel(const JetColumn &c)
{
    const QString name = jet::typeName(c.type, jet::TypeNames::English);
    switch (c.type) {
    case jet::kBinary: return QStringLiteral("%1 (%2)").arg(name).arg(c.size);
    case jet::kText: return QStringLiteral("%1 (%2)").arg(name).arg(c.size / 2);
    default: return name;
    }
}

// FILE and the other words of a command that reads one database; false after saying why.
bool openArguments(const QString &command, const QStringList &args, int minWords, int maxWords, const char *usage,
                   ToolOptions *options)
{
    QString error;
    if (!parseOptions(args, {}, {}, options, &error)) {
        printError(command, error);
        return false;
    }
    if (options->positional.size() < minWords || (maxWords >= 0 && options->positional.size() > maxWords)) {
        printError(command, QStringLiteral("参数不对，用法: %1").arg(QString::fromUtf8(usage)));
        return false;
    }
    return true;
}

void writeUtf8(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// Runs a command's work on the file named first; its failure, the data layer's or the reader's
// own (read outside the engine), is printed in the command's name with exit code 1.
template <class Work>
int readingFile(const QString &command, const ToolOptions &options, Work &&work)
{
    try {
        JetFile file(options.positional.at(0), options.password);
        work(file);
    } catch (const Exception &e) {
        printError(command, e.message());
        return 1;
    } catch (const jet::Error &e) {
        printError(command, e.message());
        return 1;
    }
    return 0;
}

} // namespace

int runExportCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("export"), args, 2, 2, "lssdb export FILE OUTDIR [--password P]", &options))
        return 1;
    const QString outDir = options.positional.at(1);
    return readingFile(QStringLiteral("export"), options, [&](JetFile &file) {
        if (!QDir().mkpath(outDir) || !QFileInfo(outDir).isDir())
            throw EDatabaseError(QStringLiteral("无法创建目录 %1").arg(outDir));
        for (const QString &table : file.tableNames()) {
            QSaveFile out(QDir(outDir).filePath(fileNameOf(table)));
            if (!out.open(QIODevice::WriteOnly))
                throw EDatabaseError(QStringLiteral("无法写入 %1: %2").arg(out.fileName(), fileErrorText(out)));
            CsvSink sink(out);
            file.readTable(table, sink);
            sink.flush();
            if (!out.commit())
                throw EDatabaseError(QStringLiteral("无法写入 %1: %2").arg(out.fileName(), fileErrorText(out)));
        }
    });
}

int runTablesCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("tables"), args, 1, 1, "lssdb tables FILE [--password P]", &options))
        return 1;
    return readingFile(QStringLiteral("tables"), options, [](JetFile &file) {
        for (const QString &table : file.tableNames())
            writeUtf8(table + QLatin1Char('\n'));
    });
}

int runSchemaCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("schema"), args, 1, -1, "lssdb schema FILE [TABLE...] [--password P]", &options))
        return 1;
    return readingFile(QStringLiteral("schema"), options, [&](JetFile &file) {
        QStringList tables = options.positional.mid(1);
        if (tables.isEmpty())
            tables = file.tableNames();
        for (const QString &table : tables) {
            const QString stored = file.findTable(table);
            if (stored.isEmpty())
                throw EDatabaseError(QStringLiteral("找不到表 '%1'。").arg(table));
            QString text = stored + QLatin1Char('\n');
            for (const JetColumn &c : file.columns(stored))
                text += QStringLiteral("  %1\t%2\n").arg(c.name, typeLabel(c));
            writeUtf8(text);
        }
    });
}
