#pragma once

#include <QString>

#include <stdexcept>

namespace jet {

// The one failure of the file-format layer, reading or writing. The reader's failures are a
// kind and what they concern (the file's path, a table, a column); the data layer words them
// for the user (sqlerrors::message). The writer's say what and where in a text, for the tools.
class Error : public std::runtime_error
{
public:
    enum Kind {
        Failed,       // the writer could not write what it was given, or where
        NotFound,     // no such file
        NoSuchTable,  // the file holds no table of that name
        CannotOpen,   // the file exists but cannot be opened
        Directory,    // a directory at the path
        NotRegular,   // a device, a FIFO or a socket at the path
        Unrecognised, // not a Jet 4 file
        BadPassword,
        Damaged,     // a structure of the file contradicts the format or itself
        Unsupported, // a column of a type the reader cannot decode
        OutOfMemory,
    };

    // The writer's failure.
    explicit Error(const QString &message) : std::runtime_error(message.toStdString()), m_kind(Failed) {}
    // The reader's: `path` is the file's; `table`, `column` and `type` name what a NoSuchTable or
    // Unsupported error concerns.
    Error(Kind kind, const QString &path, const QString &table = QString(), const QString &column = QString(),
          quint8 type = 0)
        : std::runtime_error(account(kind, path, table, column)), m_kind(kind), m_path(path), m_table(table),
          m_column(column), m_type(type)
    {
    }
    Kind kind() const { return m_kind; }
    const QString &path() const { return m_path; }
    const QString &table() const { return m_table; }
    const QString &column() const { return m_column; }
    quint8 type() const { return m_type; }
    // The writer's text; for the reader's failures a plain account for logs, never shown.
    QString message() const { return QString::fromUtf8(what()); }

private:
    static std::string account(Kind kind, const QString &path, const QString &table, const QString &column)
    {
        QString s = QStringLiteral("Jet file error %1: %2").arg(int(kind)).arg(path);
        if (!table.isEmpty())
            s += QStringLiteral(", table %1").arg(table);
        if (!column.isEmpty())
            s += QStringLiteral(", column %1").arg(column);
        return s.toStdString();
    }

    Kind m_kind;
    QString m_path;
    QString m_table;
    QString m_column;
    quint8 m_type = 0;
};

} // namespace jet
