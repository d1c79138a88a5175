#include "data/JetFile.h"

#include "data/DatabaseError.h"
#include "data/JetText.h"
#include "data/jet/JetHeader.h"

#include <QByteArray>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <mdbtools.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kMagic[] = "Standard Jet DB";

QString notFound(const QString &path)
{
    return QStringLiteral("找不到文件 '%1'。").arg(path);
}
QString unrecognised(const QString &path)
{
    return QStringLiteral("无法识别的数据库格式 '%1'。").arg(path);
}
QString damaged(const QString &path)
{
    return QStringLiteral("数据库文件 '%1' 已损坏或不完整，无法读取。").arg(path);
}

quint16 u16(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}
quint32 u32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// Text in runs, into buffers sized once.
inline void decodeJet4Text(const uchar *p, size_t len, std::string &out)
{
    jet4text::decode(p, len, out);
}

// yyyy-MM-dd, with " hh:mm:ss" when the time is not midnight.
void formatJetDate(double value, std::string &out)
{
    out.clear();
    if (!std::isfinite(value) || std::fabs(value) > 3e6)
        return;
    double days = std::trunc(value);
    double fraction = std::fabs(value - days);
    qint64 seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += value < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(days));
    char buf[48];
    int n;
    if (seconds == 0)
        n = qsnprintf(buf, sizeof buf, "%04d-%02d-%02d", date.year(), date.month(), date.day());
    else
        n = qsnprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                      int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    out.assign(buf, size_t(qMax(0, n)));
}

struct ColumnInfo
{
    JetColumn column;
    int type = 0;
    int colNum = 0;
    int varColNum = 0;
    int fixedOffset = 0;
    int size = 0;
    bool fixed = false;
};

struct TableInfo
{
    QString name;
    quint32 tdefPage = 0;
    QVector<ColumnInfo> columns;
};

// Runs the catalog read of libmdb in a child process first: a damaged file that would make the
// library crash or loop then costs the child, not the program.
bool catalogReadsSafely(const QByteArray &path)
{
    const pid_t pid = fork();
    if (pid < 0)
        return true; // no probe possible; the checks of our own still apply
    if (pid == 0) {
        // Child: no output of the library's complaints, no return into the program.
        if (FILE *null = std::freopen("/dev/null", "w", stderr))
            (void)null;
        MdbHandle *mdb = mdb_open(path.constData(), MDB_NOFLAGS);
        if (!mdb)
            _exit(2);
        if (!mdb_read_catalog(mdb, MDB_TABLE))
            _exit(3);
        for (unsigned i = 0; i < mdb->num_catalog; ++i) {
            auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(mdb->catalog, i));
            if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
                continue;
            MdbTableDef *table = mdb_read_table(entry);
            if (!table)
                _exit(4);
            if (!mdb_read_columns(table))
                _exit(5);
        }
        _exit(0);
    }
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    for (;;) {
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid)
            break;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return true; // the child cannot be watched (e.g. ECHILD); our own checks still apply
        }
        if (timer.elapsed() > 10000) { // a catalog of a few tables reads in milliseconds
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        usleep(200);
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

struct JetFile::Impl
{
    QString path;
    QFile file;
    const uchar *data = nullptr;
    qint64 size = 0;
    int version = 4;
    int pageSize = 4096;
    quint32 pageCount = 0;
    QString password;
    MdbHandle *mdb = nullptr;
    QVector<TableInfo> tables;

    ~Impl()
    {
        if (mdb)
            mdb_close(mdb);
    }

    const uchar *page(quint32 number) const
    {
        return number < pageCount ? data + qint64(number) * pageSize : nullptr;
    }

    // Bounds of row `row` on a data or long-value page; false when the page does not hold it.
    bool rowBounds(const uchar *pg, int row, int &start, int &end, quint16 &flags) const
    {
        const int countAt = version == 3 ? 8 : 12;
        const int rows = u16(pg + countAt);
        if (row < 0 || row >= rows || countAt + 2 + rows * 2 > pageSize)
            return false;
        const quint16 entry = u16(pg + countAt + 2 + row * 2);
        flags = entry & 0xE000;
        start = entry & 0x1FFF;
        end = row == 0 ? pageSize : (u16(pg + countAt + row * 2) & 0x1FFF);
        return start >= countAt + 2 + rows * 2 && start <= end && end <= pageSize;
    }

    void readMemo(const uchar *field, size_t len, std::string &out) const;
    void readTableJet4(const TableInfo &table, JetRowSink &sink, const std::vector<bool> *decode, quint32 firstPage,
                       quint32 endPage) const;
    void readTableLibmdb(const TableInfo &table, JetRowSink &sink) const;
};

JetFile::JetFile(const QString &path, const QString &password) : d(new Impl)
{
    d->path = path;
    QFileInfo info(path);
    if (!info.exists() || info.isDir())
        throw EDatabaseError(notFound(path));
    d->file.setFileName(path);
    if (!d->file.open(QIODevice::ReadOnly))
        throw EDatabaseError(QStringLiteral("无法打开文件 '%1'，它可能被占用或没有读取权限。").arg(path));
    d->size = d->file.size();
    if (d->size < 0x20)
        throw EDatabaseError(unrecognised(path));
    // Read only, shared: a read-only mapping takes no lock and copies nothing.
    d->data = d->file.map(0, d->size);
    if (!d->data)
        throw EDatabaseError(QStringLiteral("无法读取文件 '%1'。").arg(path));
    if (d->data[0] != 0 || d->data[1] != 1 || std::memcmp(d->data + 4, kMagic, sizeof kMagic) != 0)
        throw EDatabaseError(unrecognised(path));
    const int versionByte = d->data[0x14];
    if (versionByte == 0) {
        d->version = 3;
        d->pageSize = 2048;
    } else if (versionByte == 1) {
        d->version = 4;
        d->pageSize = 4096;
    } else {
        throw EDatabaseError(unrecognised(path)); // newer engines' formats
    }
    // A file cut short, or too short to hold the catalog, is damaged.
    if (d->size % d->pageSize != 0 || d->size < 3 * qint64(d->pageSize) || d->size / d->pageSize > 0x7FFFFFFF)
        throw EDatabaseError(damaged(path));
    d->pageCount = quint32(d->size / d->pageSize);
    if (d->page(2)[0] != 0x02)
        throw EDatabaseError(damaged(path));

    const QByteArray page0(reinterpret_cast<const char *>(d->data), d->pageSize);
    if (d->version == 4) {
        d->password = jet::readDatabasePassword(page0);
    } else {
        // Jet 3: the same scrambled header, 126 bytes; the password is 20 bytes of 8-bit text.
        QByteArray plain = page0.left(0x18 + 126);
        const unsigned char key[4] = {0xc7, 0xda, 0x39, 0x6b};
        jet::rc4(key, 4, reinterpret_cast<unsigned char *>(plain.data()) + 0x18, 126);
        QByteArray pw = plain.mid(0x42, 20);
        const int nul = int(pw.indexOf('\0'));
        if (nul >= 0)
            pw.truncate(nul);
        d->password = QString::fromLatin1(pw);
    }

    if (d->password != password)
        throw EDatabaseError(QStringLiteral("密码无效。"));

    const QByteArray native = QFile::encodeName(path);
    if (!catalogReadsSafely(native))
        throw EDatabaseError(damaged(path));
    d->mdb = mdb_open(native.constData(), MDB_NOFLAGS);
    if (!d->mdb)
        throw EDatabaseError(damaged(path));
    if (!mdb_read_catalog(d->mdb, MDB_TABLE))
        throw EDatabaseError(damaged(path));
    for (unsigned i = 0; i < d->mdb->num_catalog; ++i) {
        auto *entry = static_cast<MdbCatalogEntry *>(g_ptr_array_index(d->mdb->catalog, i));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry))
            continue;
        MdbTableDef *table = mdb_read_table(entry);
        if (!table || !mdb_read_columns(table)) {
            if (table)
                mdb_free_tabledef(table);
            throw EDatabaseError(damaged(path));
        }
        TableInfo info;
        info.name = QString::fromUtf8(entry->object_name);
        info.tdefPage = quint32(entry->table_pg);
        for (unsigned c = 0; c < table->num_cols; ++c) {
            auto *col = static_cast<MdbColumn *>(g_ptr_array_index(table->columns, c));
            ColumnInfo ci;
            ci.column.name = QString::fromUtf8(col->name);
            ci.type = col->col_type;
            ci.colNum = col->col_num;
            ci.varColNum = int(col->var_col_num);
            ci.fixedOffset = col->fixed_offset;
            ci.size = col->col_size;
            ci.fixed = col->is_fixed;
            switch (col->col_type) {
            case MDB_BOOL: ci.column.kind = JetKind::Boolean; break;
            case MDB_BYTE:
            case MDB_INT:
            case MDB_LONGINT: ci.column.kind = JetKind::Integer; break;
            case MDB_MONEY:
            case MDB_FLOAT:
            case MDB_DOUBLE: ci.column.kind = JetKind::Real; break;
            case MDB_DATETIME: ci.column.kind = JetKind::Date; break;
            default: ci.column.kind = JetKind::Text; break;
            }
            info.columns << ci;
        }
        mdb_free_tabledef(table);
        d->tables << info;
    }
}

JetFile::~JetFile() = default;

int JetFile::jetVersion() const
{
    return d->version;
}

QString JetFile::databasePassword() const
{
    return d->password;
}

QStringList JetFile::tableNames() const
{
    QStringList names;
    for (const TableInfo &t : d->tables)
        names << t.name;
    return names;
}

QString JetFile::findTable(const QString &name) const
{
    for (const TableInfo &t : d->tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return t.name;
    return QString();
}

QVector<JetColumn> JetFile::columns(const QString &name) const
{
    for (const TableInfo &t : d->tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        QVector<JetColumn> out;
        for (const ColumnInfo &c : t.columns)
            out << c.column;
        return out;
    }
    throw EDatabaseError(QStringLiteral("找不到表 '%1'。").arg(name));
}

quint32 JetFile::pageCount() const
{
    return d->pageCount;
}

void JetFile::readTable(const QString &name, JetRowSink &sink, const std::vector<bool> *decode, quint32 firstPage,
                        quint32 endPage) const
{
    for (const TableInfo &t : d->tables) {
        if (t.name.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (d->version == 4)
            d->readTableJet4(t, sink, decode, firstPage, endPage);
        else
            d->readTableLibmdb(t, sink);
        // The table is in the engine now; its pages need not stay in this process's memory
        // (a part read beside others drops only its own pages).
        const qint64 from = qint64(firstPage) * d->pageSize;
        const qint64 to = qMin<qint64>(d->size, qint64(qMin(endPage, d->pageCount)) * d->pageSize);
        if (to > from)
            madvise(const_cast<uchar *>(d->data) + from, size_t(to - from), MADV_DONTNEED);
        return;
    }
    throw EDatabaseError(QStringLiteral("找不到表 '%1'。").arg(name));
}

// A long value: inline after its 12-byte header, in one long-value row, or in a chain of them.
void JetFile::Impl::readMemo(const uchar *field, size_t len, std::string &out) const
{
    out.clear();
    if (len < 12)
        return;
    const quint32 head = u32(field);
    const quint32 total = head & 0x3FFFFFFF;
    if (head & 0x80000000u) {
        if (total > len - 12)
            throw EDatabaseError(damaged(path));
        decodeJet4Text(field + 12, total, out);
        return;
    }
    QByteArray bytes;
    quint32 pointer = u32(field + 4);
    const bool single = head & 0x40000000u;
    quint32 hops = 0;
    while (pointer != 0 && quint32(bytes.size()) < total) {
        const uchar *pg = page(pointer >> 8);
        int start, end;
        quint16 flags;
        if (!pg || pg[0] != 0x01 || std::memcmp(pg + 4, "LVAL", 4) != 0
            || !rowBounds(pg, int(pointer & 0xFF), start, end, flags) || ++hops > pageCount)
            throw EDatabaseError(damaged(path));
        if (single) {
            bytes.append(reinterpret_cast<const char *>(pg + start), end - start);
            break;
        }
        if (end - start < 4)
            throw EDatabaseError(damaged(path));
        pointer = u32(pg + start);
        bytes.append(reinterpret_cast<const char *>(pg + start + 4), end - start - 4);
    }
    decodeJet4Text(reinterpret_cast<const uchar *>(bytes.constData()), qMin<size_t>(size_t(bytes.size()), total), out);
}

// Reads the data pages of a table directly: every page of type "data" that names the table's
// definition page, rows in page order, every offset checked against the page.
void JetFile::Impl::readTableJet4(const TableInfo &table, JetRowSink &sink, const std::vector<bool> *decode,
                                  quint32 firstPage, quint32 endPage) const
{
    QVector<JetColumn> columns;
    for (const ColumnInfo &c : table.columns)
        columns << c.column;
    sink.begin(columns);
    std::vector<JetCell> cells(size_t(table.columns.size()));
    std::vector<int> varOffsets;
    // Pages walked are dropped from this process as the walk goes on, so the copy in the engine
    // and the file's pages are never both in memory at full size. The mapping stays valid: a
    // page touched again (a long value) is simply read back from the file.
    const qint64 osPage = qMax<qint64>(1, sysconf(_SC_PAGESIZE));
    const quint32 dropEvery = quint32(qMax<qint64>(1, (8 << 20) / pageSize));
    const quint32 from = qMax<quint32>(1, firstPage);
    const quint32 to = qMin(pageCount, endPage);
    quint32 keptFrom = from;
    for (quint32 pn = from; pn < to; ++pn) {
        if (pn - keptFrom >= dropEvery) {
            const qint64 from = qint64(keptFrom) * pageSize / osPage * osPage;
            const qint64 to = qint64(pn) * pageSize / osPage * osPage;
            if (to > from)
                madvise(const_cast<uchar *>(data) + from, size_t(to - from), MADV_DONTNEED);
            keptFrom = pn;
        }
        const uchar *pg = data + qint64(pn) * pageSize;
        if (pg[0] != 0x01 || u32(pg + 4) != table.tdefPage)
            continue;
        const int rows = u16(pg + 12);
        if (14 + rows * 2 > pageSize)
            throw EDatabaseError(damaged(path));
        for (int r = 0; r < rows; ++r) {
            int start, end;
            quint16 flags;
            if (!rowBounds(pg, r, start, end, flags))
                throw EDatabaseError(damaged(path));
            if (flags & 0xC000) // deleted, or a pointer to a row kept elsewhere
                continue;
            if (!sink.wantsRow())
                continue;
            const uchar *row = pg + start;
            const int len = end - start;
            if (len < 2)
                throw EDatabaseError(damaged(path));
            const int rowCols = u16(row);
            const int maskBytes = (rowCols + 7) / 8;
            if (len < 2 + maskBytes + 2)
                throw EDatabaseError(damaged(path));
            const uchar *mask = row + len - maskBytes;
            const int varCols = u16(row + len - maskBytes - 2);
            const int tableAt = len - maskBytes - 4; // offsets of the variable columns, backwards
            if (tableAt - varCols * 2 < 2)
                throw EDatabaseError(damaged(path));
            varOffsets.resize(size_t(varCols) + 1);
            for (int v = 0; v <= varCols; ++v) {
                const int off = u16(row + tableAt - v * 2);
                if (off > len)
                    throw EDatabaseError(damaged(path));
                varOffsets[size_t(v)] = off;
            }
            for (int c = 0; c < table.columns.size(); ++c) {
                const ColumnInfo &col = table.columns[c];
                JetCell &cell = cells[size_t(c)];
                cell.isNull = true;
                if (decode && (size_t(c) >= decode->size() || !(*decode)[size_t(c)]))
                    continue;
                const bool present = col.colNum < rowCols && (mask[col.colNum / 8] & (1 << (col.colNum % 8)));
                if (col.type == MDB_BOOL) {
                    cell.isNull = false;
                    cell.text = present ? "True" : "False";
                    continue;
                }
                if (!present)
                    continue;
                const uchar *p;
                size_t size;
                if (col.fixed) {
                    if (2 + col.fixedOffset + col.size > len)
                        continue;
                    p = row + 2 + col.fixedOffset;
                    size = size_t(col.size);
                } else {
                    if (col.varColNum >= varCols)
                        continue;
                    const int a = varOffsets[size_t(col.varColNum)];
                    const int b = varOffsets[size_t(col.varColNum) + 1];
                    if (a > b || b > len)
                        throw EDatabaseError(damaged(path));
                    p = row + a;
                    size = size_t(b - a);
                }
                cell.isNull = false;
                switch (col.type) {
                case MDB_BYTE: cell.integer = size >= 1 ? p[0] : 0; break;
                case MDB_INT: cell.integer = size >= 2 ? qint16(u16(p)) : 0; break;
                case MDB_LONGINT: cell.integer = size >= 4 ? qint32(u32(p)) : 0; break;
                case MDB_MONEY: {
                    qint64 v = 0;
                    if (size >= 8)
                        std::memcpy(&v, p, 8);
                    cell.real = double(v) / 10000.0;
                    break;
                }
                case MDB_FLOAT: {
                    float f = 0;
                    if (size >= 4)
                        std::memcpy(&f, p, 4);
                    cell.real = f;
                    break;
                }
                case MDB_DOUBLE: {
                    double v = 0;
                    if (size >= 8)
                        std::memcpy(&v, p, 8);
                    cell.real = v;
                    break;
                }
                case MDB_DATETIME: {
                    double v = 0;
                    if (size >= 8)
                        std::memcpy(&v, p, 8);
                    formatJetDate(v, cell.text);
                    break;
                }
                case MDB_TEXT: decodeJet4Text(p, size, cell.text); break;
                case MDB_MEMO: readMemo(p, size, cell.text); break;
                default: cell.isNull = true; break; // binary data has no text form
                }
            }
            sink.row(cells);
        }
    }
}

// Jet 3 files are read through the library, row by row.
void JetFile::Impl::readTableLibmdb(const TableInfo &info, JetRowSink &sink) const
{
    QByteArray name = info.name.toUtf8();
    MdbTableDef *table = mdb_read_table_by_name(mdb, name.data(), MDB_TABLE);
    // Freed however the reading ends: the sink may throw too (the engine gave up).
    const std::unique_ptr<MdbTableDef, void (*)(MdbTableDef *)> owner(table, [](MdbTableDef *t) {
        if (t)
            mdb_free_tabledef(t);
    });
    if (!table || !mdb_read_columns(table))
        throw EDatabaseError(damaged(path));
    QVector<JetColumn> columns;
    std::vector<QByteArray> buffers(table->num_cols);
    std::vector<int> lengths(table->num_cols);
    for (unsigned c = 0; c < table->num_cols; ++c) {
        columns << info.columns.value(int(c)).column;
        buffers[c].resize(MDB_BIND_SIZE);
        mdb_bind_column(table, int(c) + 1, buffers[c].data(), &lengths[c]);
    }
    mdb_set_date_fmt(mdb, "%Y-%m-%d %H:%M:%S");
    sink.begin(columns);
    std::vector<JetCell> cells(table->num_cols);
    mdb_rewind_table(table);
    quint64 guard = 0;
    while (mdb_fetch_row(table)) {
        if (++guard > quint64(pageCount) * 256) // more rows than the pages can hold: a loop
            throw EDatabaseError(damaged(path));
        for (unsigned c = 0; c < table->num_cols; ++c) {
            JetCell &cell = cells[c];
            cell.isNull = lengths[c] == 0;
            std::string text(buffers[c].constData(), size_t(qMax(0, lengths[c])));
            if (columns[int(c)].kind == JetKind::Date && text.size() > 10 && text.compare(10, 9, " 00:00:00") == 0)
                text.resize(10);
            cell.text = text;
            cell.integer = std::strtoll(text.c_str(), nullptr, 10);
            cell.real = std::strtod(text.c_str(), nullptr);
        }
        sink.row(cells);
    }
}
