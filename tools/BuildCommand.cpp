#include "tools/BuildCommand.h"

#include "data/jet/DirectorySchema.h"
#include "data/jet/Writer.h"
#include "tools/CsvReader.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>

namespace {

struct InputError {
    QString message;
};

QDateTime parseDate(const QString& s)
{
    static const QRegularExpression re(
        QStringLiteral("^(\\d{4})-(\\d{2})-(\\d{2})(?: (\\d{2}):(\\d{2}):(\\d{2}))?$"));
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

void writeTable(jet::Writer& writer, const jet::TableDef& def, const QString& path)
{
    CsvReader reader(path);
    QString openError;
    if (!reader.open(&openError))
        throw InputError{QStringLiteral("%1: cannot open: %2").arg(path, openError)};
    auto fail = [&](qint64 line, const QString& column, const QString& what) {
        if (column.isEmpty())
            return InputError{QStringLiteral("%1:%2: %3").arg(path).arg(line).arg(what)};
        return InputError{QStringLiteral("%1:%2: column %3: %4").arg(path).arg(line).arg(column, what)};
    };

    std::vector<CsvReader::Field> fields;
    std::vector<int> columnOf;   // CSV field index -> table column index
    try {
        if (!reader.next(fields))
            throw fail(1, QString(), QStringLiteral("empty file, expected a header row"));
        std::vector<bool> used(def.columns.size(), false);
        for (size_t i = 0; i < fields.size(); ++i) {
            if (!isValidUtf8(fields[i].bytes))
                throw fail(reader.recordLine(), QString::number(i + 1), QStringLiteral("header is not valid UTF-8"));
            const QString name = QString::fromUtf8(fields[i].bytes);
            int found = -1;
            for (size_t c = 0; c < def.columns.size(); ++c)
                if (def.columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                    found = int(c);
            if (found < 0) {
                QStringList known;
                for (const jet::ColumnDef& c : def.columns)
                    known << c.name;
                throw fail(reader.recordLine(), name,
                           QStringLiteral("unknown column of table %1 (its columns: %2)").arg(def.name, known.join(QStringLiteral(", "))));
            }
            if (used[found])
                throw fail(reader.recordLine(), name, QStringLiteral("named twice in the header"));
            used[found] = true;
            columnOf.push_back(found);
        }

        writer.beginTable(def);
        QVector<QVariant> values(int(def.columns.size()));
        while (reader.next(fields)) {
            const qint64 line = reader.recordLine();
            if (fields.size() != columnOf.size())
                throw fail(line, QString(), QStringLiteral("%1 fields, the header has %2").arg(fields.size()).arg(columnOf.size()));
            for (QVariant& v : values)
                v = QVariant();
            for (size_t i = 0; i < fields.size(); ++i) {
                const CsvReader::Field& f = fields[i];
                const jet::ColumnDef& col = def.columns[columnOf[i]];
                if (f.bytes.isEmpty() && !f.quoted)
                    continue;   // NULL
                if (!isValidUtf8(f.bytes))
                    throw fail(line, col.name, QStringLiteral("text is not valid UTF-8"));
                const QString s = QString::fromUtf8(f.bytes);
                switch (col.type) {
                case jet::ColumnType::Text:
                    if (s.size() > col.maxChars)
                        throw fail(line, col.name, QStringLiteral("value too long (%1 characters, at most %2)").arg(s.size()).arg(col.maxChars));
                    values[columnOf[i]] = s;
                    break;
                case jet::ColumnType::Memo:
                    values[columnOf[i]] = s;
                    break;
                case jet::ColumnType::Long: {
                    bool ok = false;
                    const int n = s.toInt(&ok);
                    if (!ok)
                        throw fail(line, col.name, QStringLiteral("not a %1 (-2147483648..2147483647): \"%2\"").arg(jet::columnTypeLabel(col.type), s));
                    values[columnOf[i]] = n;
                    break;
                }
                case jet::ColumnType::DateTime: {
                    const QDateTime dt = parseDate(s);
                    if (!dt.isValid())
                        throw fail(line, col.name, QStringLiteral("not a date (yyyy-MM-dd or yyyy-MM-dd hh:mm:ss): \"%1\"").arg(s));
                    values[columnOf[i]] = dt;
                    break;
                }
                }
            }
            try {
                writer.addRow(values);
            } catch (const jet::Error& e) {
                throw fail(line, QString(), e.message());
            }
        }
        writer.endTable();
    } catch (const CsvError& e) {
        throw fail(e.line, QString(), e.message);
    }
}

}  // namespace

int runBuildCommand(const QStringList& args)
{
    QString out, dir;
    QString password = QStringLiteral("41729063");
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--password")) {
            if (i + 1 >= args.size()) {
                std::fputs("lssdb build: --password needs a value\n", stderr);
                return 1;
            }
            password = args[++i];
        } else if (a.startsWith(QLatin1String("--password="))) {
            password = a.mid(11);
        } else if (a.startsWith(QLatin1String("--"))) {
            std::fprintf(stderr, "lssdb build: unknown option %s\n", qPrintable(a));
            return 1;
        } else if (out.isEmpty()) {
            out = a;
        } else if (dir.isEmpty()) {
            dir = a;
        } else {
            std::fprintf(stderr, "lssdb build: unexpected argument %s\n", qPrintable(a));
            return 1;
        }
    }
    if (out.isEmpty() || dir.isEmpty()) {
        std::fputs("usage: lssdb build OUT CSVDIR [--password P]\n", stderr);
        return 1;
    }
    // Every input must be there before anything is written.
    for (const jet::TableDef& t : jet::directorySchema()) {
        const QString path = QDir(dir).filePath(t.name + QStringLiteral(".csv"));
        if (!QFileInfo(path).isFile()) {
            std::fprintf(stderr, "lssdb build: %s: missing CSV file for table %s\n", qPrintable(path), qPrintable(t.name));
            return 1;
        }
    }
    try {
        jet::Writer writer(out, password);
        for (const jet::TableDef& t : jet::directorySchema())
            writeTable(writer, t, QDir(dir).filePath(t.name + QStringLiteral(".csv")));
        writer.finish();
    } catch (const InputError& e) {
        std::fprintf(stderr, "lssdb build: %s\n", qPrintable(e.message));
        return 1;
    } catch (const jet::Error& e) {
        std::fprintf(stderr, "lssdb build: %s\n", e.what());
        return 1;
    }
    return 0;
}
