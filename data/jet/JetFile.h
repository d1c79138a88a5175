#pragma once

#include "data/jet/JetValues.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>
#include <vector>

namespace jet {
class TableCursor;
}

// The engine's storage class of a column: how it holds and declares the values the reader
// gives for the column's Jet type. Not a type of the file: the Jet type codes are that.
enum class StorageClass {
    Integer, // Byte, Integer, Long
    Real,    // Single, Double
    Number,  // Currency, Decimal: exact; a number where a double holds it, its text otherwise
    Text,    // Text, Memo, GUID, binary data (as hexadecimal digits)
    Date,    // as text, yyyy-MM-dd[ hh:mm:ss]
    Boolean, // as text, True or False
};

struct JetColumn
{
    QString name;
    StorageClass kind = StorageClass::Text;
    // Whether the reader decodes the column's type; reading one it does not is the
    // unsupported-type error.
    bool decodable = true;
    quint8 type = 0;   // Jet's type code, as the definition stores it
    int size = 0;      // bytes of a fixed value, or at most of a Text value
    int precision = 0; // Decimal: digits in all
    int scale = 0;     // Decimal: digits after the point
};

// Receives the rows of a table being read.
class JetRowSink
{
public:
    virtual ~JetRowSink() = default;
    virtual void begin(const QVector<JetColumn> &columns) = 0;
    virtual void row(const std::vector<JetCell> &cells) = 0;
};

// A Jet 4 database file opened read only: the header and password are checked and the catalog
// read when it opens; table data is read only on request, page by page, every page checked.
// Every failure throws jet::Error; a damaged file gives an error, never a crash or a hang.
class JetFile
{
public:
    // A file with a database password opens only with that password; one without opens
    // whatever password is given.
    JetFile(const QString &path, const QString &password);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    QString databasePassword() const; // empty when the file has none
    QStringList tableNames() const;   // user tables, as stored
    // Stored name of a table, found without regard to case; empty when absent.
    QString findTable(const QString &name) const;
    // The columns of a table in their stored order; throws when there is no such table, and
    // the damaged-file error when its definition contradicts itself.
    QVector<JetColumn> columns(const QString &table) const;
    // The row count its definition states (as the file was opened): a pass over the whole
    // table that meets another number of rows fails.
    quint32 storedRowCount(const QString &table) const;

    // A cursor over the rows of a table that decodes the given columns (indices into
    // columns()) and skips the others. It reads the file as it goes: one cursor at a time,
    // and none outliving this object.
    std::unique_ptr<jet::TableCursor> openTable(const QString &table, const std::vector<int> &columns);

    // Damaged-file error unless the file still holds the table as it was when it opened
    // (measured again, its definition read again): what every statement checks first.
    void verifyTable(const QString &table);

    // Every row of a table, every column.
    void readTable(const QString &name, JetRowSink &sink);

    // Whether the path still holds the file this object opened (same file, size and time, its
    // header and catalog pages unchanged). Cheap enough for every statement; never throws.
    bool isCurrent() const;
    const QString &path() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
