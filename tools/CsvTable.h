#pragma once

#include "data/jet/Writer.h"
#include "tools/CsvReader.h"

#include <QString>
#include <QVariant>
#include <QVector>

// A bad input of `lssdb build`; the message names the file, line and column.
struct CsvTableError
{
    QString message;
};

// The records of one table's CSV file as values of the table's columns. The header row names
// the columns (any order, without regard to case); each field is checked against its column's
// type. Every failure throws CsvTableError.
class CsvTable
{
public:
    CsvTable(const jet::TableDef &def, const QString &path);

    // The next record's values in the table's column order, NULL where the file has none;
    // false at the end of the file.
    bool next(QVector<QVariant> &values);
    // Physical line on which the record last returned by next() started.
    qint64 line() const { return m_reader.recordLine(); }

    // A failure at `line`, naming `column` when it is not empty.
    CsvTableError error(qint64 line, const QString &column, const QString &what) const;

private:
    void readHeader();
    QVariant convert(const CsvReader::Field &field, const jet::ColumnDef &column, qint64 line) const;

    const jet::TableDef &m_def;
    QString m_path;
    CsvReader m_reader;
    std::vector<int> m_columnOf; // CSV field index -> table column index
    std::vector<CsvReader::Field> m_fields;
};

// A value as a message shows it: in quotes, at most the first few dozen characters, control
// characters written as escapes, and the full length said when the value is cut.
QString quotedValue(const QString &value);
