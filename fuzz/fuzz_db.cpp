// A directory file, opened with the program's password and read table by table, every row and
// every column, through the reader the engine loads its tables from. A damaged file must end in
// one of the data layer's own Chinese messages: no crash, no other exception, no text of a
// library on the terminal, and the file stays readable for the tables after a damaged one. A
// damaged file must never read as a different directory: a table read through has exactly the
// rows its definition counts, no value is larger than the file, and a small file cannot expand
// without bound (each long-value row has one owner, so a table's text can outgrow the file only
// as far as columns that share bytes of a row allow: some hundred times, 255 columns over one
// value shown as hexadecimal digits). The same file then goes through the statement engine,
// which must agree with the reader on every table both can read.
//
// Mutations keep whole pages and change the structures inside them (PageMutator.h);
// LSS_FUZZ_PLAIN=1 leaves them to libFuzzer's own mutator alone.
#include "fuzz/FuzzSupport.h"
#include "fuzz/PageMutator.h"

#include "data/DatabaseError.h"
#include "data/ResultSet.h"
#include "data/SqlEngine.h"
#include "data/SqlErrors.h"
#include "data/jet/JetError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetRows.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

// Every message the reader and the engine give for a file (%1, %2, %3: a path, table, column or
// type). Anything else, SQLite's English above all, is a fault.
const QStringList &readerMessages()
{
    static const QStringList messages = {
        QStringLiteral("找不到文件 '%1'。"),
        QStringLiteral("无法识别的数据库格式 '%1'。"),
        QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。"),
        QStringLiteral("内存不足，无法读取数据库。"),
        QStringLiteral("无法打开文件 '%1'，它可能被占用或没有读取权限。"),
        QStringLiteral("找不到表 '%1'。"),
        QStringLiteral("密码无效。"),
        QStringLiteral("无法读取表 '%1' 的列 '%2'：不支持的数据类型（%3）。"),
    };
    return messages;
}
const QStringList &engineMessages()
{
    static const QStringList messages = readerMessages()
                                        + QStringList{
                                            QStringLiteral("数据库文件已被更改，表 '%1' 无法读取。"),
                                            QStringLiteral("内存不足，无法完成查询。"),
                                            QStringLiteral("内存不足，无法读取表 '%1'。"),
                                            QStringLiteral("内存不足，无法打开数据库。"),
                                            QStringLiteral("读取表时出错。"),
                                            QStringLiteral("表 '%1' 没有列。"),
                                        };
    return messages;
}

void checkMessage(const QString &message, const QStringList &set)
{
    fuzz::check(fuzz::matchesOneOf(message, set), "an error is not one of the data layer's messages", message);
}

// Rows of each table the reader read whole; -1 where it failed.
using RowCounts = QHash<QString, qint64>;

void readTable(JetFile &file, const QString &table, size_t fileSize, RowCounts &counts)
{
    counts.insert(table, -1);
    const QVector<JetColumn> columns = file.columns(table);
    std::vector<int> readable;
    for (int i = 0; i < columns.size(); ++i) {
        if (columns[i].decodable) {
            readable.push_back(i);
            continue;
        }
        try {
            file.openTable(table, {i});
            fuzz::check(false, "a column of a type the reader cannot decode opened", columns[i].name);
        } catch (const jet::Error &e) {
            checkMessage(sqlerrors::message(e), readerMessages());
        }
    }
    const std::unique_ptr<jet::TableCursor> rows = file.openTable(table, readable);
    size_t bytes = 0;
    qint64 count = 0;
    while (rows->next()) {
        ++count;
        fuzz::check(rows->cells().size() == readable.size(), "a row has the wrong number of cells");
        for (const JetCell &cell : rows->cells()) {
            // Hexadecimal digits double a value's bytes, UTF-8 makes two bytes of UTF-16 three.
            fuzz::check(
                cell.text.size() <= 2 * fileSize + 64, "a value is larger than the file allows",
                QStringLiteral("%1: %2 bytes from a file of %3").arg(table).arg(cell.text.size()).arg(fileSize));
            bytes += cell.text.size();
        }
    }
    fuzz::check(count == qint64(file.storedRowCount(table)), "a table read through has not its stored row count",
                QStringLiteral("%1: %2 rows, %3 stored").arg(table).arg(count).arg(file.storedRowCount(table)));
    fuzz::check(bytes <= 1024 * fileSize + (1u << 20), "a table's text is out of all proportion to the file",
                QStringLiteral("%1: %2 bytes of text from a file of %3").arg(table).arg(bytes).arg(fileSize));
    // Counted from the row slots alone: the rows the pass met, the same checks passed.
    const quint32 counted = file.openTable(table, {})->countRows();
    fuzz::check(qint64(counted) == count, "a count from the row slots differs from the rows read",
                QStringLiteral("%1: %2 counted, %3 read").arg(table).arg(counted).arg(count));
    if (readable.size() == size_t(columns.size()))
        counts.insert(table, count);
}

void queryEverything(const QString &path, size_t fileSize, const RowCounts &counts)
{
    std::unique_ptr<SqlEngine> engine;
    try {
        engine = std::make_unique<SqlEngine>(path, QString::fromLatin1(jet::kDirectoryPassword));
    } catch (const EDatabaseError &e) {
        checkMessage(e.message(), engineMessages());
        return;
    }
    for (auto it = counts.begin(); it != counts.end(); ++it) {
        QString name = it.key();
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        try {
            const std::unique_ptr<ResultSet> all =
                engine->execute(QStringLiteral("SELECT * FROM \"%1\"").arg(name), {});
            size_t bytes = 0;
            for (int r = 0; r < all->rowCount(); ++r)
                for (int f = 0; f < all->fieldCount(); ++f)
                    bytes += all->bytes(r, f).size();
            fuzz::check(
                bytes <= 1024 * fileSize + (1u << 20), "a result's text is out of all proportion to the file",
                QStringLiteral("%1: %2 bytes of text from a file of %3").arg(it.key()).arg(bytes).arg(fileSize));
            if (it.value() >= 0)
                fuzz::check(
                    all->rowCount() == it.value(), "the engine and the reader disagree on a table's rows",
                    QStringLiteral("%1: %2 rows against %3").arg(it.key()).arg(all->rowCount()).arg(it.value()));
            // A search of a column first (one pass over the file, each stored value tested once)
            // and once every column is decoded (in memory) finds the same rows.
            for (int f = 0; f < std::min(all->fieldCount(), 3); ++f) {
                QString column = all->fieldNames().at(f);
                column.replace(QLatin1Char('"'), QLatin1String("\"\""));
                const QString search =
                    QStringLiteral("SELECT \"%1\" FROM \"%2\" WHERE \"%1\" LIKE '%a%'").arg(column, name);
                const int later = engine->execute(search, {})->rowCount();
                SqlEngine fresh(path, QString::fromLatin1(jet::kDirectoryPassword));
                const int first = fresh.execute(search, {})->rowCount();
                fuzz::check(first == later, "a first search and a later one find different rows",
                            QStringLiteral("%1: %2 against %3").arg(search).arg(first).arg(later));
            }
        } catch (const EDatabaseError &e) {
            checkMessage(e.message(), engineMessages());
        }
    }
}

void readEverything(const QString &path, size_t size, RowCounts &counts)
{
    std::unique_ptr<JetFile> file;
    try {
        file = std::make_unique<JetFile>(path, QString::fromLatin1(jet::kDirectoryPassword));
    } catch (const jet::Error &e) {
        checkMessage(sqlerrors::message(e), readerMessages());
        return;
    }
    for (const QString &table : file->tableNames()) {
        try {
            readTable(*file, table, size, counts);
        } catch (const jet::Error &e) {
            checkMessage(sqlerrors::message(e), readerMessages());
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
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

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t *data, size_t size, size_t maxSize, unsigned int seed)
{
    static const bool plain = std::getenv("LSS_FUZZ_PLAIN") != nullptr;
    if (plain)
        return LLVMFuzzerMutate ? LLVMFuzzerMutate(data, size, maxSize) : size;
    return fuzz::PageMutator(data, size, maxSize, seed).run();
}
