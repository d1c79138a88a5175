// One CSV file of `lssdb build`: the first byte picks the table, the rest is the file. Every
// record either converts to values that fit their columns or ends in one message that names
// the file and line, stays short whatever the input, and holds no control character.
#include "fuzz/FuzzSupport.h"

#include "data/jet/DirectorySchema.h"
#include "tools/CsvTable.h"

#include <QDateTime>

namespace {

void checkValue(const QVariant &v, const jet::ColumnDef &col)
{
    if (v.isNull())
        return;
    switch (col.type) {
    case jet::kText:
        fuzz::check(v.typeId() == QMetaType::QString && v.toString().size() <= col.maxChars, "text value does not fit",
                    col.name);
        break;
    case jet::kMemo: fuzz::check(v.typeId() == QMetaType::QString, "memo value is not text", col.name); break;
    case jet::kLong: fuzz::check(v.typeId() == QMetaType::Int, "long value is not a 32-bit number", col.name); break;
    case jet::kDateTime: {
        const QDateTime dt = v.toDateTime();
        fuzz::check(v.typeId() == QMetaType::QDateTime && dt.isValid(), "date value is not a valid date", col.name);
        fuzz::check(dt.date() >= QDate(100, 1, 1) && dt.date() <= QDate(9999, 12, 31),
                    "date outside the column's range", dt.toString(Qt::ISODate));
        break;
    }
    }
}

void checkMessage(const QString &message, const QString &path)
{
    fuzz::check(message.startsWith(path + QLatin1Char(':')), "message does not name the file", message);
    fuzz::check(fuzz::hasChinese(message), "message not in Chinese", message);
    // The longest message names a column and lists the table's columns; a value adds a few dozen characters.
    fuzz::check(message.size() <= path.size() + 400, "message too long", message.left(600));
    for (const QChar c : message)
        fuzz::check(c.unicode() >= 0x20 && c.unicode() != 0x7f, "control character in the message", message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::vector<jet::TableDef> &tables = jet::directorySchema();
    const jet::TableDef &def = tables[data[0] % tables.size()];
    const fuzz::MemoryFile file(data + 1, size - 1);
    fuzz::OutputCatcher output;
    try {
        CsvTable table(def, file.path());
        QVector<QVariant> values;
        qint64 lastLine = 0;
        while (table.next(values)) {
            fuzz::check(values.size() == qsizetype(def.columns.size()), "record without a value for each column");
            fuzz::check(table.line() > lastLine, "record lines do not increase");
            lastLine = table.line();
            for (size_t c = 0; c < def.columns.size(); ++c)
                checkValue(values[qsizetype(c)], def.columns[c]);
        }
    } catch (const CsvTableError &e) {
        checkMessage(e.message, file.path());
    }
    const QByteArray printed = output.take();
    fuzz::check(printed.isEmpty(), "reading the file printed text of its own", QString::fromLocal8Bit(printed));
    return 0;
}
