#pragma once

#include "data/jet/JetHeader.h"

#include <QByteArray>
#include <QFileDevice>
#include <QString>
#include <QStringList>

#include <string_view>

// What the lssdb commands share: messages on stderr, the options every command reading a file
// takes, and the CSV form of values that `build` reads and `export` and `query --format csv`
// write.

// "lssdb COMMAND: message" on stderr as UTF-8, whole (a NUL inside does not end it).
void printError(const QString &command, const QString &message);

// The system's text for an errno value, in Chinese for the failures a file operation meets.
QString systemErrorText(int error);

// Why a file could not be opened or written, in Chinese.
QString fileErrorText(const QFileDevice &file);

// A message of the Jet writer (English) in Chinese.
QString writerErrorInChinese(const QString &message);

// The options of a command that reads a database: FILE and other words as `positional`,
// "--password P" (default the directory's own). False with `error` set on a bad option; the
// options in `flags` (without a value) and `valued` (with one) are the command's own.
struct ToolOptions
{
    QStringList positional;
    QString password = QString::fromLatin1(jet::kDirectoryPassword);
    bool hasPassword = false;
    QStringList flags;                     // given flags
    QList<QPair<QString, QString>> values; // given valued options, in order
};
// Every option with a value is given either as "--name value" or as "--name=value".
bool parseOptions(const QStringList &args, const QStringList &flags, const QStringList &valued, ToolOptions *options,
                  QString *error);
// "--name=value" split into its name and value (true); any other word is its own `name`.
bool splitOption(const QString &arg, QString *name, QString *value);

// One CSV field: NULL as nothing; a text in double quotes when it is empty or holds a comma, a
// quote, a line break, or starts with a byte order mark; otherwise as it is.
void appendCsvField(QByteArray &out, std::string_view bytes, bool null);
