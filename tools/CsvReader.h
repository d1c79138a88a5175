#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

// Streaming reader of RFC 4180 CSV (comma separator, double quotes, CRLF or LF line ends).
// Keeps only the current record in memory.
class CsvReader
{
public:
    struct Field
    {
        QByteArray bytes;
        bool quoted = false;
    };

    explicit CsvReader(const QString &path);
    bool open(QString *error); // the reason in Chinese

    // Reads the next record; false at end of file. Throws CsvError on malformed input.
    bool next(std::vector<Field> &fields);
    // With true, a blank line is a record of one empty unquoted field (a file of one column,
    // where such a line is a NULL); only the last line break ends the file. With false (the
    // default) blank lines are skipped.
    void setBlankLineIsRecord(bool on) { m_blankLineIsRecord = on; }
    // Physical line on which the last record returned by next() started.
    qint64 recordLine() const { return m_recordLine; }

private:
    int get();
    int peek();
    bool startsWithMark();

    QFile m_file;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_first = true;
    bool m_blankLineIsRecord = false;
    qint64 m_line = 1;
    qint64 m_recordLine = 1;
};

struct CsvError
{
    qint64 line;
    QString message;
};
