#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <stdexcept>
#include <vector>

namespace jet {

// Failure while writing a database; the message says what and where.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

enum class ColumnType { Text, Memo, Long, DateTime };

struct ColumnDef {
    QString name;
    ColumnType type;
    int maxChars = 255;   // Text only: UTF-16 code units, 1..255
};

struct TableDef {
    QString name;
    std::vector<ColumnDef> columns;
};

// Streams a Jet 4 file: tables one after another, rows one at a time. The file is written
// under a temporary name beside `outPath` and renamed into place by finish().
class Writer {
public:
    explicit Writer(const QString& outPath, const QString& password = QStringLiteral("41729063"));
    ~Writer();                                   // an unfinished writer removes its temporary file
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creation date stored in the definition page (it also masks the password). Defaults to now.
    void setCreationDate(const QDateTime& created);

    void beginTable(const TableDef& def);
    // One value per column: a null QVariant is NULL; QString for Text and Memo; qint32/int for
    // Long; QDateTime or QDate for Date/Time.
    void addRow(const QVector<QVariant>& values);
    void endTable();
    void finish();                               // completes the file and renames it into place

    // Rows added to the current table so far.
    quint32 rowsInTable() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Jet column type codes.
enum : quint8 {
    kTypeInt = 0x03,
    kTypeLong = 0x04,
    kTypeDateTime = 0x08,
    kTypeText = 0x0a,
    kTypeOle = 0x0b,
    kTypeMemo = 0x0c,
};

}  // namespace jet
