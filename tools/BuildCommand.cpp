#include "tools/BuildCommand.h"

#include "data/jet/DirectorySchema.h"
#include "data/jet/Writer.h"
#include "tools/CsvTable.h"
#include "tools/ToolSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeTable(jet::Writer &writer, const jet::TableDef &def, const QString &path)
{
    CsvTable table(def, path);
    writer.beginTable(def);
    QVector<QVariant> values;
    while (table.next(values)) {
        try {
            writer.addRow(values);
        } catch (const jet::Error &e) {
            throw table.error(table.line(), QString(), writerErrorInChinese(e.message()));
        }
    }
    writer.endTable();
}

} // namespace

QString resolveOutputFile(const QString &out, QString *error)
{
    // Through symbolic links to the file they name: the new file replaces that one, beside it,
    // and the links stay as they are.
    QString path = out;
    for (int depth = 0;; ++depth) {
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            if (errno == ENOENT)
                return path; // a new file (or a link to where one will be)
            *error = QStringLiteral("%1: %2").arg(path, systemErrorText(errno));
            return QString();
        }
        if (S_ISREG(st.st_mode))
            return path;
        if (!S_ISLNK(st.st_mode)) {
            // A device, a pipe, a socket or a directory is never replaced by a database.
            *error = QStringLiteral("%1 已存在且不是普通文件，不会被覆盖").arg(path);
            return QString();
        }
        if (depth == 40) {
            *error = QStringLiteral("%1: %2").arg(out, systemErrorText(ELOOP));
            return QString();
        }
        const QByteArray target = QFile::encodeName(path);
        QByteArray link(4096, '\0');
        const ssize_t n = ::readlink(target.constData(), link.data(), size_t(link.size()));
        if (n < 0 || n >= link.size()) {
            *error = QStringLiteral("%1: %2").arg(path, systemErrorText(n < 0 ? errno : ENAMETOOLONG));
            return QString();
        }
        link.truncate(qsizetype(n));
        const QString next = QFile::decodeName(link);
        path = QDir::isAbsolutePath(next) ? next : QFileInfo(path).dir().filePath(next);
    }
}

int runBuildCommand(const QStringList &args)
{
    const QString command = QStringLiteral("build");
    ToolOptions options;
    QString error;
    if (!parseOptions(args, {}, {}, &options, &error)) {
        printError(command, error);
        return 1;
    }
    if (options.positional.size() != 2) {
        printError(command, QStringLiteral("参数不对，用法: lssdb build OUT CSVDIR [--password P]"));
        return 1;
    }
    const QString out = resolveOutputFile(options.positional.at(0), &error);
    if (out.isEmpty()) {
        printError(command, error);
        return 1;
    }
    const QString dir = options.positional.at(1);
    // Every input must be there before anything is written.
    for (const jet::TableDef &t : jet::directorySchema()) {
        const QString path = QDir(dir).filePath(t.name + QStringLiteral(".csv"));
        if (!QFileInfo(path).isFile()) {
            printError(command, QStringLiteral("%1: 缺少表 %2 的 CSV 文件").arg(path, t.name));
            return 1;
        }
    }
    try {
        jet::Writer writer(out, options.password);
        for (const jet::TableDef &t : jet::directorySchema())
            writeTable(writer, t, QDir(dir).filePath(t.name + QStringLiteral(".csv")));
        writer.finish();
    } catch (const CsvTableError &e) {
        printError(command, e.message);
        return 1;
    } catch (const jet::Error &e) {
        printError(command, writerErrorInChinese(e.message()));
        return 1;
    }
    return 0;
}
