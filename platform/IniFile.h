#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// A read-only INI file, read the way the Windows profile functions read one:
// - section and key names are compared without regard to case;
// - the first section of a name is the one searched, and in it the first key of a name wins;
// - blanks around section names, keys and values are dropped;
// - lines starting with ";" are comments, lines that are neither a section nor "key=value" are
//   skipped;
// - lines end with CR LF, LF or a lone CR;
// - a missing file reads as an empty one.
// The whole file is read once, when the object is made.
class IniFile
{
public:
    IniFile() = default;
    explicit IniFile(const QString &path);
    static IniFile fromData(const QByteArray &data);

    // The raw value of a key (trimmed), or nothing when the section or key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;

    // The number rule of GetPrivateProfileInt: leading blanks, an optional sign, "0x"/"0X" for
    // hexadecimal, the digits up to the first other character; an empty or missing value gives
    // defaultValue, a value without digits gives 0. Overlong numbers wrap at 32 bits.
    int profileInt(const QString &section, const QString &key, int defaultValue) const;

    // The number rule of the framework's ReadInteger: the whole value must be a number, decimal
    // (fitting in 32 signed bits) or hexadecimal after "0x", "0X" or "$" (up to 8 digits),
    // with an optional sign in front; anything else, and a missing key, gives defaultValue.
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;

    // The string rule of GetPrivateProfileString with a buffer of bufferSize characters
    // (terminating zero included): at most bufferSize - 1 bytes in the GBK encoding, never half a
    // character. One pair of matching quotes around the value is removed.
    QString profileString(const QString &section, const QString &key, const QString &defaultValue,
                          int bufferSize) const;

    // The two number rules on a bare text, for callers and tests.
    static int profileIntOf(const QString &text, int defaultValue);
    static int readIntegerOf(const QString &text, int defaultValue);

    // The longest head of text whose GBK encoding takes at most maxBytes bytes. A character is
    // kept whole or dropped whole.
    static QString truncateToGbkBytes(const QString &text, int maxBytes);

    // Text of an INI file. A byte order mark decides (UTF-8, UTF-16 LE/BE); without one, bytes
    // that are valid UTF-8 are read as UTF-8 and anything else as GBK, the 8-bit code page these
    // files were written in. Pure ASCII reads the same either way.
    static QString decode(const QByteArray &data);

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        QList<Entry> entries;
    };
    void parse(const QString &text);
    QList<Section> m_sections;
};
