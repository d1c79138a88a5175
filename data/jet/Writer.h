#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

#include "data/jet/JetError.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetTypes.h"

#include <memory>
#include <vector>

namespace jet {

// A column to write. `type` is one of Jet's type codes (JetTypes.h). Values: QString for Text
// and Memo; qint32/int for Long; QDateTime or QDate for Date/Time; bool for Yes/No; int for Byte
// and Integer; QString (exact decimal text) or a number for Currency and Decimal; float or
// double; QByteArray for Binary and OLE; QUuid or its text for GUID.
struct ColumnDef
{
    QString name;
    quint8 type;
    int maxChars = 255; // Text only: UTF-16 code units, 1..255 (a Binary column holds 255 bytes)
    int precision = 18; // Decimal only: 1..28 digits
    int scale = 0;      // Decimal only: 0..precision
};

// Structures that Access leaves in a file once it has been edited, written on request so the
// readers can be tried on them.
struct WriterOptions
{
    bool compressText = false;     // Text and Memo in compressed Unicode wherever that is shorter
    int moveEvery = 0;             // every n-th row moved to a later page, a pointer left in its place
    int deleteEvery = 0;           // after every n-th row, a deleted copy of it on the same page
    bool strayPages = false;       // each table followed by a data page that names it as owner
                                   // but is not in its usage map (as a dropped table leaves)
    bool longValuesOffRow = false; // every non-empty Memo and OLE value on a long-value page,
                                   // however short (as Access does when a row has no room left)
    // Layouts that other Jet writers make and Access reads:
    bool fixedText = false;       // Text columns in the row's fixed part, each value padded with
                                  // spaces to the column's size
    bool variableDecimal = false; // Decimal columns in the row's variable part
    int mapSlotsFrom = 0;         // the usage maps from this row slot of their page on, after as
                                  // many deleted rows (as a file with many tables has them)
};

struct TableDef
{
    QString name;
    std::vector<ColumnDef> columns;
};

// Streams a Jet 4 file: tables one after another, rows one at a time. The file is written
// under a temporary name beside `outPath` and renamed into place by finish().
class Writer
{
public:
    explicit Writer(const QString &outPath, const QString &password = QString::fromLatin1(kDirectoryPassword));
    ~Writer(); // an unfinished writer removes its temporary file
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Creation date stored in the definition page (it also masks the password). Defaults to now.
    void setCreationDate(const QDateTime &created);
    void setOptions(const WriterOptions &options);

    void beginTable(const TableDef &def);
    // One value per column: a null QVariant is NULL; QString for Text and Memo; qint32/int for
    // Long; QDateTime or QDate for Date/Time.
    void addRow(const QVector<QVariant> &values);
    void endTable();
    void finish(); // completes the file and renames it into place

    // Rows added to the current table so far.
    quint32 rowsInTable() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace jet
