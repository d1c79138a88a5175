// A directory file, opened with the program's password and read table by table, every row and
// every column, through the reader the engine loads its tables from. A damaged file must end in
// one of the data layer's Chinese messages: no crash, no other exception, no text of a library
// on the terminal, and the file stays readable for the tables after a damaged one. Nor may a
// small file expand without bound: each long value has one owner, so a table's text can outgrow
// the file only as far as columns that share bytes of a row allow (some hundred times: 255
// columns over one value, each shown as hexadecimal digits). The same file then goes through
// the statement engine, which must agree with the reader on every table both can read.
#include "fuzz/FuzzSupport.h"

#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetRows.h"

#include <QHash>

#include <memory>

namespace {

void checkMessage(const EDatabaseError& e)
{
    fuzz::check(fuzz::hasChinese(e.message()), "a data layer error is not a Chinese message", e.message());
}

// Rows of each table the reader read whole; -1 where it failed.
using RowCounts = QHash<QString, qint64>;

void readTable(JetFile& file, const QString& table, size_t fileSize, RowCounts& counts)
{
    counts.insert(table, -1);
    const QVector<JetColumn> columns = file.columns(table);
    std::vector<int> readable;
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].unreadable.isEmpty())
            readable.push_back(i);
        else
            fuzz::check(fuzz::hasChinese(columns[i].unreadable), "an unreadable column's error is not Chinese",
                        columns[i].unreadable);
    }
    const std::unique_ptr<jet::TableCursor> rows = file.openTable(table, readable);
    size_t bytes = 0;
    qint64 count = 0;
    while (rows->next()) {
        ++count;
        fuzz::check(rows->cells().size() == readable.size(), "a row has the wrong number of cells");
        for (const JetCell& cell : rows->cells())
            bytes += cell.text.size();
    }
    fuzz::check(bytes <= 1024 * fileSize + (1u << 20), "a table's text is out of all proportion to the file",
                QStringLiteral("%1: %2 bytes of text from a file of %3").arg(table).arg(bytes).arg(fileSize));
    if (readable.size() == size_t(columns.size()))
        counts.insert(table, count);
}

void queryEverything(const QString& path, size_t fileSize, const RowCounts& counts)
{
    std::unique_ptr<SqlEngine> engine;
    try {
        engine = std::make_unique<SqlEngine>(path, QStringLiteral("41729063"));
    } catch (const EDatabaseError& e) {
        checkMessage(e);
        return;
    }
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        QString name = it.key();
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        try {
            const std::unique_ptr<ResultSet> all = engine->execute(QStringLiteral("SELECT * FROM \"%1\"").arg(name), {});
            size_t bytes = 0;
            for (int r = 0; r < all->rowCount(); ++r)
                for (int f = 0; f < all->fieldCount(); ++f)
                    bytes += all->bytes(r, f).size();
            fuzz::check(bytes <= 1024 * fileSize + (1u << 20), "a result's text is out of all proportion to the file",
                        QStringLiteral("%1: %2 bytes of text from a file of %3").arg(it.key()).arg(bytes).arg(fileSize));
            if (it.value() >= 0)
                fuzz::check(all->rowCount() == it.value(), "the engine and the reader disagree on a table's rows",
                            QStringLiteral("%1: %2 rows against %3").arg(it.key()).arg(all->rowCount()).arg(it.value()));
        } catch (const EDatabaseError& e) {
            checkMessage(e);
        }
    }
}

void readEverything(const QString& path, size_t size, RowCounts& counts)
{
    std::unique_ptr<JetFile> file;
    try {
        file = std::make_unique<JetFile>(path, QStringLiteral("41729063"));
    } catch (const EDatabaseError& e) {
        checkMessage(e);
        return;
    }
    QStringList tables;
    try {
        tables = file->tableNames();
    } catch (const EDatabaseError& e) {
        checkMessage(e);
        return;
    }
    for (const QString& table : tables) {
        try {
            readTable(*file, table, size, counts);
        } catch (const EDatabaseError& e) {
            checkMessage(e);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fuzz::MemoryFile file(data, size);
    fuzz::OutputCatcher output;
    RowCounts counts;
    readEverything(file.path(), size, counts);
    queryEverything(file.path(), size, counts);
    const QByteArray printed = output.take();
    fuzz::check(printed.isEmpty(), "reading the file printed text of its own", QString::fromLocal8Bit(printed));
    return 0;
}
