#pragma once

#include <QString>

#include <stdexcept>

namespace jet {

// The one failure of the file-format layer, reading or writing. Reader messages are the data
// layer's Chinese texts, ready to show; the engine gives them on as its own error. Writer
// messages say what and where, for the tools.
class Error : public std::runtime_error
{
public:
    enum Kind {
        Failed,       // the writer could not write what it was given, or where
        NotFound,     // no such file, or no such table
        CannotOpen,   // the file exists but cannot be opened
        Unrecognised, // not a Jet 4 file
        BadPassword,
        Damaged,     // a structure of the file contradicts the format or itself
        Unsupported, // a column of a type the reader cannot decode
        OutOfMemory,
    };

    explicit Error(const QString &message, Kind kind = Failed) : std::runtime_error(message.toStdString()), m_kind(kind)
    {
    }
    Kind kind() const { return m_kind; }
    QString message() const { return QString::fromUtf8(what()); }

private:
    Kind m_kind;
};

} // namespace jet
