#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <string>
#include <vector>

// Value types a column of a Jet table is read as.
enum class JetKind { Integer, Real, Text, Date, Boolean };

struct JetColumn
{
    QString name;
    JetKind kind = JetKind::Text;
};

// One cell while a table is read; text is UTF-8, dates already in display form.
struct JetCell
{
    bool isNull = true;
    qint64 integer = 0;
    double real = 0;
    std::string text;
};

// Receives the rows of a table being read.
class JetRowSink
{
public:
    virtual ~JetRowSink() = default;
    virtual void begin(const QVector<JetColumn> &columns) = 0;
    virtual void row(const std::vector<JetCell> &cells) = 0;
    // Asked before each row is decoded, in file order; false skips it (row() is not called).
    // A reader may also call row() without asking.
    virtual bool wantsRow() { return true; }
};

// A Jet 3 or Jet 4 database file opened read only: the header is checked and the catalog read
// when it opens; table data is read only on request. Every failure throws EDatabaseError, and a
// damaged file gives an error rather than a crash or an endless loop.
class JetFile
{
public:
    // Checks the database password before anything beyond the header page is read.
    JetFile(const QString &path, const QString &password);
    ~JetFile();
    JetFile(const JetFile &) = delete;
    JetFile &operator=(const JetFile &) = delete;

    int jetVersion() const;          // 3 or 4
    QString databasePassword() const; // empty when the file has none
    QStringList tableNames() const;   // user tables, as stored
    // Stored name of a table, found without regard to case; empty when absent.
    QString findTable(const QString &name) const;
    // Columns of a table as stored; throws when the file has no such table.
    QVector<JetColumn> columns(const QString &name) const;
    // Every row in file order. With `decode`, only the columns marked there are decoded; the
    // others are left null (and cost nothing but their skip). A Jet 4 table can be read in parts:
    // the rows of pages [firstPage, endPage) only, each part safe to read beside the others.
    void readTable(const QString &name, JetRowSink &sink, const std::vector<bool> *decode = nullptr,
                   quint32 firstPage = 0, quint32 endPage = 0xFFFFFFFFu) const;
    quint32 pageCount() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
