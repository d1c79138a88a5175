#include "tools/BuildCommand.h"

#include "data/jet/DirectorySchema.h"
#include "data/jet/Writer.h"
#include "tools/CsvTable.h"

#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {

void writeTable(jet::Writer& writer, const jet::TableDef& def, const QString& path)
{
    CsvTable table(def, path);
    writer.beginTable(def);
    QVector<QVariant> values;
    while (table.next(values)) {
        try {
            writer.addRow(values);
        } catch (const jet::Error& e) {
            throw table.error(table.line(), QString(), e.message());
        }
    }
    writer.endTable();
}

// The message whole, as UTF-8: a NUL or any other character must not end it early.
void printError(const QString& message)
{
    const QByteArray text = QByteArrayLiteral("lssdb build: ") + message.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
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
    } catch (const CsvTableError& e) {
        printError(e.message);
        return 1;
    } catch (const jet::Error& e) {
        printError(e.message());
        return 1;
    }
    return 0;
}
