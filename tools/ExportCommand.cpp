#include "tools/ExportCommand.h"

#include "data/DatabaseError.h"
#include "data/jet/JetError.h"
#include "data/jet/JetFile.h"
#include "data/jet/JetTypes.h"
#include "tools/ToolSupport.h"

#include "data/StatementRows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// A table's file name: its name with "%", "/" and control characters written as %XX, so every
// Jet name gives a file of its own inside OUTDIR (the directory's names come out as they are).
QString fileNameOf(const QString &table)
{
    QString out;
    for (const QChar c : table) {
        if (c == u'%' || c == u'/' || c == u'\\' || c.unicode() < 0x20)
            out += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out + QStringLiteral(".csv");
}

// A file of the staging directory, written with the system's calls so that a failure names
// its cause (a full disk, a size limit, an input/output error) by errno.
class StagedFile
{
public:
    // `shown` is the name the user knows the file by: OUTDIR/TABLE.csv.
    StagedFile(const QString &path, const QString &shown) : m_shown(shown)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0)
            fail(errno);
    }
    ~StagedFile()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    StagedFile(const StagedFile &) = delete;
    StagedFile &operator=(const StagedFile &) = delete;

    void write(const QByteArray &bytes)
    {
        const char *p = bytes.constData();
        size_t left = size_t(bytes.size());
        while (left > 0) {
            const ssize_t n = ::write(m_fd, p, left);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                fail(n < 0 ? errno : ENOSPC);
            p += n;
            left -= size_t(n);
        }
    }
    // On the disk before it is put in place: a crash never leaves an empty file there.
    void close()
    {
        const int fd = std::exchange(m_fd, -1);
        const bool synced = ::fsync(fd) == 0;
        const int syncError = errno;
        if (::close(fd) != 0 || !synced)
            fail(synced ? errno : syncError);
    }

private:
    [[noreturn]] void fail(int error)
    {
        throw EDatabaseError(QStringLiteral("无法写入 %1: %2").arg(m_shown, systemErrorText(error)));
    }

    QString m_shown;
    int m_fd = -1;
};

// Writes each row as it is read: a table of any size needs memory for one row. Values are
// written as `lssdb query` gives them (statementrows::jetCellText), numbers included.
class CsvSink : public JetRowSink
{
public:
    explicit CsvSink(StagedFile &file) : m_file(file) {}

    void begin(const QVector<JetColumn> &columns) override
    {
        for (int c = 0; c < columns.size(); ++c) {
            if (c)
                m_out.append(',');
            const QByteArray name = columns.at(c).name.toUtf8();
            appendCsvField(m_out, std::string_view(name.constData(), size_t(name.size())), false);
            m_kinds.push_back(columns.at(c).kind);
        }
        m_out.append("\r\n");
    }

    void row(const std::vector<JetCell> &cells) override
    {
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c)
                m_out.append(',');
            unsigned char type;
            const StorageClass kind = c < m_kinds.size() ? m_kinds[c] : StorageClass::Text;
            const std::string_view text = statementrows::jetCellText(cells[c], kind, m_buffer, type);
            appendCsvField(m_out, text, type == SQLITE_NULL);
        }
        m_out.append("\r\n");
        if (m_out.size() >= (1 << 16))
            flush();
    }

    void flush()
    {
        m_file.write(m_out);
        m_out.clear();
    }

private:
    StagedFile &m_file;
    QByteArray m_out;
    std::vector<StorageClass> m_kinds;
    std::string m_buffer;
};

// The type as Access names it, with the size of a Text column and the digits of a Decimal.
QString typeLabel(const JetColumn &c)
{
    const QString name = jet::typeName(c.type, jet::TypeNames::English);
    switch (c.type) {
    case jet::kBinary: return QStringLiteral("%1 (%2)").arg(name).arg(c.size);
    case jet::kText: return QStringLiteral("%1 (%2)").arg(name).arg(c.size / 2);
    case jet::kDecimal: return QStringLiteral("%1 (%2, %3)").arg(name).arg(c.precision).arg(c.scale);
    default: return name;
    }
}

// FILE and the other words of a command that reads one database; false after saying why.
bool openArguments(const QString &command, const QStringList &args, int minWords, int maxWords, const char *usage,
                   ToolOptions *options)
{
    QString error;
    if (!parseOptions(args, {}, {}, options, &error)) {
        printError(command, error);
        return false;
    }
    if (options->positional.size() < minWords || (maxWords >= 0 && options->positional.size() > maxWords)) {
        printError(command, QStringLiteral("参数不对，用法: %1").arg(QString::fromUtf8(usage)));
        return false;
    }
    return true;
}

void writeUtf8(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

// Runs a command's work on the file named first; its failure, the data layer's or the reader's
// own (read outside the engine), is printed in the command's name with exit code 1.
template <class Work>
int readingFile(const QString &command, const ToolOptions &options, Work &&work)
{
    try {
        JetFile file(options.positional.at(0), options.password);
        work(file);
    } catch (const Exception &e) {
        printError(command, e.message());
        return 1;
    } catch (const jet::Error &e) {
        printError(command, sqlerrors::message(e));
        return 1;
    }
    return 0;
}

// The system's failure of an operation on `path`, in Chinese.
[[noreturn]] void failOn(const QString &what, const QString &path, int error)
{
    throw EDatabaseError(QStringLiteral("%1 %2: %3").arg(what, path, systemErrorText(error)));
}

bool exists(const QString &path, struct stat *st)
{
    if (::lstat(QFile::encodeName(path).constData(), st) == 0)
        return true;
    if (errno != ENOENT)
        failOn(QStringLiteral("无法访问"), path, errno);
    return false;
}

// Export is all or nothing: every table is written into a fresh staging directory beside
// OUTDIR, and only when all are written are they put in place. A new OUTDIR is the staging
// directory renamed; into an existing one each file is renamed over its old version (which is
// kept aside until the last one is in, and put back if one fails), and nothing else there is
// touched. On failure OUTDIR is as it was, and directories made for it are removed again.
void exportTables(JetFile &file, const QString &outDirArg)
{
    const QString outDir = QDir::cleanPath(QDir::current().absoluteFilePath(outDirArg));
    struct stat st;
    const bool existed = exists(outDir, &st);
    QString place = outDir; // where the files go: through a link to a directory, the directory
    if (existed) {
        const QFileInfo info(outDir);
        if (!info.isDir())
            throw EDatabaseError(QStringLiteral("无法创建目录 %1: 已存在且不是目录").arg(outDirArg));
        place = info.canonicalFilePath();
    }
    const QString parent = QFileInfo(place).path();

    // Directories above a new OUTDIR that are not there yet, the deepest last.
    QStringList made;
    for (QString d = parent; !QFileInfo::exists(d) && !QFileInfo(d).isSymLink(); d = QFileInfo(d).path())
        made.prepend(d);
    auto removeMade = [&made] {
        for (auto it = made.crbegin(); it != made.crend(); ++it)
            ::rmdir(QFile::encodeName(*it).constData());
    };
    for (const QString &d : made) {
        if (::mkdir(QFile::encodeName(d).constData(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            removeMade();
            failOn(QStringLiteral("无法创建目录"), d, error);
        }
    }

    const QStringList tables = file.tableNames();
    QStringList names;
    for (const QString &table : tables)
        names << fileNameOf(table);
    // What stands at OUTDIR/TABLE.csv is replaced by a rename: only a file or a link may be.
    if (existed) {
        for (const QString &name : names) {
            const QString target = QDir(place).filePath(name);
            if (exists(target, &st) && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
                throw EDatabaseError(QStringLiteral("%1 已存在且不是普通文件，不会被覆盖").arg(target));
        }
    }

    // Beside OUTDIR; inside an existing OUTDIR where its parent may not be written to or is
    // another file system (OUTDIR mounted there), since the files are renamed into OUTDIR.
    QStringList stagingPlaces{parent};
    if (existed) {
        struct stat up;
        struct stat at;
        if (::stat(QFile::encodeName(parent).constData(), &up) != 0
            || ::stat(QFile::encodeName(place).constData(), &at) != 0 || up.st_dev != at.st_dev)
            stagingPlaces.clear();
        stagingPlaces << place;
    }
    QByteArray pattern;
    for (const QString &in : stagingPlaces) {
        pattern =
            QFile::encodeName(QDir(in).filePath(QStringLiteral(".%1.lssdb-XXXXXX").arg(QFileInfo(place).fileName())));
        if (::mkdtemp(pattern.data()))
            break;
        const int error = errno;
        if (in == place || !existed || (error != EACCES && error != EPERM && error != EROFS)) {
            removeMade();
            throw EDatabaseError(QStringLiteral("无法在 %1 中创建临时目录: %2").arg(in, systemErrorText(error)));
        }
    }
    const QString staging = QFile::decodeName(pattern);
    bool stagingPlaced = false;
    auto removeStaging = [&] {
        if (!stagingPlaced)
            QDir(staging).removeRecursively();
    };

    // Old files moved aside (backup) and new ones put in place, to be undone on failure.
    struct Placed
    {
        QString target;
        QString backup; // empty: there was no file before
    };
    std::vector<Placed> placed;
    auto undo = [&] {
        for (auto it = placed.crbegin(); it != placed.crend(); ++it) {
            const QByteArray target = QFile::encodeName(it->target);
            if (it->backup.isEmpty())
                ::unlink(target.constData());
            else
                ::rename(QFile::encodeName(it->backup).constData(), target.constData());
        }
    };
    try {
        for (int t = 0; t < names.size(); ++t) {
            StagedFile out(QDir(staging).filePath(names.at(t)), QDir(outDirArg).filePath(names.at(t)));
            CsvSink sink(out);
            file.readTable(tables.at(t), sink);
            sink.flush();
            out.close();
        }
        if (!existed) {
            // mkdtemp made it for its owner alone; a directory made by mkdir would not be.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            if (::chmod(pattern.constData(), 0777 & ~mask) != 0
                || ::rename(pattern.constData(), QFile::encodeName(place).constData()) != 0)
                failOn(QStringLiteral("无法创建目录"), outDirArg, errno);
            stagingPlaced = true;
        } else {
            for (const QString &name : names) {
                const QString target = QDir(place).filePath(name);
                const QByteArray targetBytes = QFile::encodeName(target);
                Placed p{target, QString()};
                if (exists(target, &st)) {
                    p.backup = QDir(staging).filePath(name + QStringLiteral(".old"));
                    const QByteArray backup = QFile::encodeName(p.backup);
                    // A second name for the old file, so the new one replaces it in one step.
                    if (::link(targetBytes.constData(), backup.constData()) != 0
                        && ::rename(targetBytes.constData(), backup.constData()) != 0)
                        failOn(QStringLiteral("无法替换"), target, errno);
                }
                if (::rename(QFile::encodeName(QDir(staging).filePath(name)).constData(), targetBytes.constData())
                    != 0) {
                    const int error = errno;
                    if (!p.backup.isEmpty() && !QFileInfo::exists(target) && !QFileInfo(target).isSymLink())
                        ::rename(QFile::encodeName(p.backup).constData(), targetBytes.constData());
                    failOn(QStringLiteral("无法替换"), target, error);
                }
                placed.push_back(p);
            }
        }
    } catch (...) {
        undo();
        removeStaging();
        removeMade();
        throw;
    }
    removeStaging();
}

} // namespace

int runExportCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("export"), args, 2, 2, "lssdb export FILE OUTDIR [--password P]", &options))
        return 1;
    const QString outDir = options.positional.at(1);
    return readingFile(QStringLiteral("export"), options, [&](JetFile &file) { exportTables(file, outDir); });
}

int runTablesCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("tables"), args, 1, 1, "lssdb tables FILE [--password P]", &options))
        return 1;
    return readingFile(QStringLiteral("tables"), options, [](JetFile &file) {
        for (const QString &table : file.tableNames())
            writeUtf8(table + QLatin1Char('\n'));
    });
}

int runSchemaCommand(const QStringList &args)
{
    ToolOptions options;
    if (!openArguments(QStringLiteral("schema"), args, 1, -1, "lssdb schema FILE [TABLE...] [--password P]", &options))
        return 1;
    return readingFile(QStringLiteral("schema"), options, [&](JetFile &file) {
        QStringList tables = options.positional.mid(1);
        if (tables.isEmpty())
            tables = file.tableNames();
        for (const QString &table : tables) {
            const QString stored = file.findTable(table);
            if (stored.isEmpty())
                throw EDatabaseError(sqlerrors::noSuchTable(table));
            QString text = stored + QLatin1Char('\n');
            for (const JetColumn &c : file.columns(stored))
                text += QStringLiteral("  %1\t%2\n").arg(c.name, typeLabel(c));
            writeUtf8(text);
        }
    });
}
