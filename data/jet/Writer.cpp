#include "data/jet/Writer.h"
#include "data/jet/WriterImpl.h"

#include "data/jet/JetHeader.h"
#include "data/jet/JetTypes.h"
#include "data/jet/WriterValues.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet {

using namespace writer;

void Writer::Impl::startTable(const QString &name, std::vector<Col> cols, bool system, quint32 tdefPage)
{
    auto t = std::make_unique<Table>();
    t->name = name;
    t->system = system;
    t->tdefPage = tdefPage;
    for (Col &c : cols) {
        if (!system && options.fixedText && c.type == kText) {
            c.fixed = true;
            c.fixedSize = c.maxChars * 2;
        }
        if (!system && options.variableDecimal && c.type == kDecimal)
            c.fixed = false;
        if (c.fixed) {
            c.fixedOffset = t->fixedBytes;
            t->fixedBytes += c.fixedSize;
        } else {
            c.varIndex = t->numVar++;
        }
    }
    t->cols = std::move(cols);
    t->lval.resize(t->cols.size());
    t->lvalPages.resize(t->cols.size());
    table = std::move(t);
}

QString Writer::Impl::where(const Col &c) const
{
    return QStringLiteral("table %1, row %2, column %3").arg(table->name).arg(table->rows + 1).arg(c.name);
}

// A Text value of more characters, or a Binary one of more bytes, than its column holds.
void Writer::Impl::checkLength(const Col &c, qsizetype length) const
{
    if (length > c.maxChars)
        throw Error(QStringLiteral("%1: value too long (%2 %3, at most %4)")
                        .arg(where(c))
                        .arg(length)
                        .arg(c.type == kBinary ? QStringLiteral("bytes") : QStringLiteral("characters"))
                        .arg(c.maxChars));
}

void Writer::Impl::encodeFixed(const Col &c, const QVariant &v, quint8 *out)
{
    switch (c.type) {
    case kText: {
        const QString s = v.toString();
        checkLength(c, s.size());
        const QString padded = s + QString(c.maxChars - s.size(), QLatin1Char(' '));
        for (qsizetype i = 0; i < padded.size(); ++i)
            put16(out + 2 * i, padded.at(i).unicode());
        break;
    }
    case kLong:
    case kInteger: {
        bool ok = false;
        qlonglong x = 0;
        if (v.typeId() == QMetaType::QString)
            x = v.toString().trimmed().toLongLong(&ok);
        else
            x = v.toLongLong(&ok);
        const qlonglong lo = c.type == kLong ? -2147483648LL : -32768;
        const qlonglong hi = c.type == kLong ? 2147483647LL : 32767;
        if (!ok || x < lo || x > hi)
            throw Error(QStringLiteral("%1: not a %2 value: %3")
                            .arg(where(c), typeName(c.type, TypeNames::English), v.toString()));
        if (c.type == kLong)
            put32(out, quint32(qint32(x)));
        else
            put16(out, quint32(quint16(qint16(x))));
        break;
    }
    case kDateTime: {
        QDateTime dt;
        if (v.typeId() == QMetaType::QDateTime)
            dt = v.toDateTime();
        else if (v.typeId() == QMetaType::QDate)
            dt = QDateTime(v.toDate(), QTime(0, 0));
        else if (v.typeId() == QMetaType::QString)
            dt = QDateTime::fromString(v.toString(), Qt::ISODate);
        if (!dt.isValid())
            throw Error(QStringLiteral("%1: not a date: %2").arg(where(c), v.toString()));
        const double d = toJetDate(dt);
        std::memcpy(out, &d, 8);
        break;
    }
    case kByte: {
        bool ok = false;
        const int x = v.toInt(&ok);
        if (!ok || x < 0 || x > 255)
            throw Error(QStringLiteral("%1: not a Byte value: %2").arg(where(c), v.toString()));
        out[0] = quint8(x);
        break;
    }
    case kSingle: {
        bool ok = false;
        const float f = v.toFloat(&ok);
        if (!ok)
            throw Error(QStringLiteral("%1: not a Single value: %2").arg(where(c), v.toString()));
        std::memcpy(out, &f, 4);
        break;
    }
    case kDouble: {
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!ok)
            throw Error(QStringLiteral("%1: not a Double value: %2").arg(where(c), v.toString()));
        std::memcpy(out, &d, 8);
        break;
    }
    case kCurrency:
    case kDecimal:
    case kGuid: {
        const bool ok = c.type == kCurrency  ? values::encodeCurrency(v, out)
                        : c.type == kDecimal ? values::encodeDecimal(v, c.precision, c.scale, out)
                                             : values::encodeGuid(v, out);
        if (!ok)
            throw Error(QStringLiteral("%1: not a %2 value: %3")
                            .arg(where(c), typeName(c.type, TypeNames::English), v.toString()));
        break;
    }
    default: break;
    }
}

// A row on the current data page of the table, a new page opened when it is full.
int Writer::Impl::placeRow(FillingPage &page, const std::vector<quint8> &bytes, quint16 flags)
{
    Table &t = *table;
    if (!page.fits(int(bytes.size()))) {
        if (page.open)
            flushPage(page);
        openPage(page, allocPage(), t.tdefPage, false);
        t.dataPages.push_back(page.number);
    }
    return page.place(bytes.data(), int(bytes.size()), flags);
}

void Writer::Impl::addRow(const QVector<QVariant> &values)
{
    if (!table)
        throw Error(QStringLiteral("addRow() outside a table"));
    Table &t = *table;
    const int ncols = int(t.cols.size());
    if (values.size() != ncols)
        throw Error(QStringLiteral("table %1, row %2: %3 values for %4 columns")
                        .arg(t.name)
                        .arg(t.rows + 1)
                        .arg(values.size())
                        .arg(ncols));
    row.assign(2 + t.fixedBytes, 0);
    put16(row.data(), ncols);
    nullMask.assign((ncols + 7) / 8, 0);
    varOffsets.assign(t.numVar, 0);

    for (int i = 0; i < ncols; ++i) {
        const Col &c = t.cols[i];
        const QVariant &v = values[i];
        const bool isNull = v.isNull() || !v.isValid();
        if (c.type == kBoolean) {
            // The null mask holds a Yes/No value; it has no NULL.
            if (!isNull && v.toBool())
                nullMask[i / 8] |= quint8(1u << (i % 8));
        } else if (c.fixed) {
            if (!isNull) {
                encodeFixed(c, v, row.data() + 2 + c.fixedOffset);
                nullMask[i / 8] |= quint8(1u << (i % 8));
            }
        }
    }
    for (int i = 0; i < ncols; ++i) {
        const Col &c = t.cols[i];
        if (c.fixed)
            continue;
        const QVariant &v = values[i];
        varOffsets[c.varIndex] = int(row.size());
        if (v.isNull() || !v.isValid())
            continue;
        QString s;
        if (c.type != kOle && c.type != kBinary)
            s = v.toString();
        // A text that begins with U+FEFF would read as compressed (its first bytes are the
        // marker FF FE): it is written compressed, which keeps the character.
        const bool mark = s.startsWith(QChar(0xFEFF));
        if (mark && !values::compressText(s, valueBytes))
            throw Error(QStringLiteral("%1: a text that begins with U+FEFF cannot hold U+0000 or a character "
                                       "whose low byte is 0")
                            .arg(where(c)));
        const bool compress = options.compressText || mark;
        if (c.type == kText) {
            checkLength(c, s.size());
            if (compress && values::compressText(s, valueBytes))
                row.insert(row.end(), valueBytes.begin(), valueBytes.end());
            else
                appendUtf16(row, s);
        } else if (c.type == kBinary) {
            const QByteArray b = v.toByteArray();
            checkLength(c, b.size());
            row.insert(row.end(), b.begin(), b.end());
        } else if (c.fixedSize > 0) {
            // A fixed-size type kept in the variable part: the same bytes, found by offset.
            const size_t at = row.size();
            row.resize(at + size_t(c.fixedSize), 0);
            encodeFixed(c, v, row.data() + at);
        } else {
            valueBytes.clear();
            if (c.type == kOle) {
                const QByteArray b = v.toByteArray();
                valueBytes.assign(b.begin(), b.end());
            } else if (!compress || !values::compressText(s, valueBytes)) {
                valueBytes.clear();
                appendUtf16(valueBytes, s);
            }
            if (valueBytes.size() > size_t(kMaxLongValueBytes))
                throw Error(QStringLiteral("%1: value too long (%2 characters)").arg(where(c)).arg(s.size()));
            const size_t at = row.size();
            row.resize(at + longvalue::kReference, 0);
            if (valueBytes.size() <= size_t(kMaxInlineLongValue) && (!options.longValuesOffRow || valueBytes.empty())) {
                put32(row.data() + at + longvalue::kLength, quint32(valueBytes.size()) | longvalue::kInline);
                row.insert(row.end(), valueBytes.begin(), valueBytes.end());
            } else {
                storeLongValue(i, valueBytes, row.data() + at);
            }
        }
        nullMask[i / 8] |= quint8(1u << (i % 8));
    }
    if (t.numVar > 0) {
        append16(row, quint32(row.size())); // end of the variable data
        for (int k = t.numVar - 1; k >= 0; --k)
            append16(row, quint32(varOffsets[k]));
        append16(row, quint32(t.numVar));
    }
    row.insert(row.end(), nullMask.begin(), nullMask.end());
    if (row.size() > size_t(kMaxRowSize))
        throw Error(QStringLiteral("table %1, row %2: row too large (%3 bytes, at most %4)")
                        .arg(t.name)
                        .arg(t.rows + 1)
                        .arg(row.size())
                        .arg(kMaxRowSize));
    const quint32 n = t.rows + 1;
    if (options.moveEvery > 0 && n % quint32(options.moveEvery) == 0) {
        // Kept on a page of moved rows, marked deleted there so a scan passes it by; its
        // place holds a pointer (row number, then the page in three bytes).
        const int at = placeRow(t.moved, row, datapage::kDeleted);
        std::vector<quint8> pointer(4);
        put32(pointer.data(), (t.moved.number << 8) | quint32(at));
        placeRow(t.data, pointer, datapage::kPointer);
    } else {
        placeRow(t.data, row, 0);
    }
    if (options.deleteEvery > 0 && n % quint32(options.deleteEvery) == 0)
        placeRow(t.data, row, datapage::kDeleted);
    t.lastRow = row;
    ++t.rows;
}

Col writer::makeCol(const QString &name, quint8 type, int maxChars)
{
    Col c;
    c.name = name;
    c.type = type;
    c.maxChars = maxChars;
    c.fixedSize = fixedSize(type);
    c.fixed = c.fixedSize > 0 || type == kBoolean;
    if (type == kBinary && maxChars == 0)
        c.maxChars = 255; // the most Access lets a user declare; its own catalog has 510
    if (!c.fixed && type != kBinary && type != kText && type != kMemo && type != kOle)
        throw Error(QStringLiteral("column %1: no Jet 4 type has the code %2").arg(name).arg(int(type)));
    return c;
}

namespace {

void checkName(const QString &what, const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        throw Error(
            QStringLiteral("%1 name must have 1 to %2 characters: \"%3\"").arg(what).arg(kMaxNameLength).arg(name));
    for (QChar ch : name)
        if (ch.unicode() < 0x20 || ch == u'.' || ch == u'!' || ch == u'[' || ch == u']' || ch == u'`')
            throw Error(QStringLiteral("%1 name contains a character Jet does not allow: \"%2\"").arg(what, name));
}

} // namespace

Writer::Writer(const QString &outPath, const QString &password) : d(std::make_unique<Impl>())
{
    if (password.size() > kPasswordBytes / 2)
        throw Error(QStringLiteral("password too long (%1 characters, at most %2)")
                        .arg(password.size())
                        .arg(kPasswordBytes / 2));
    d->outPath = outPath;
    d->password = password;
    const QDateTime now = QDateTime::currentDateTime();
    d->created = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const QFileInfo fi(outPath);
    QByteArray tmpl = QFile::encodeName(fi.absoluteDir().filePath(fi.fileName() + QStringLiteral(".XXXXXX")));
    d->fd = ::mkstemp(tmpl.data());
    if (d->fd < 0)
        throw Error(QStringLiteral("cannot create a file beside %1: %2")
                        .arg(outPath, QString::fromLocal8Bit(std::strerror(errno))));
    d->tmpPath = QFile::decodeName(tmpl);
}

Writer::~Writer()
{
    if (d->fd >= 0)
        ::close(d->fd);
    if (!d->finished && !d->tmpPath.isEmpty())
        ::unlink(QFile::encodeName(d->tmpPath).constData());
}

void Writer::setCreationDate(const QDateTime &created)
{
    if (created.isValid())
        d->created = created;
}

void Writer::setOptions(const WriterOptions &options)
{
    d->options = options;
}

void Writer::beginTable(const TableDef &def)
{
    if (d->finished)
        throw Error(QStringLiteral("writer already finished"));
    if (d->table)
        throw Error(QStringLiteral("beginTable(%1) while table %2 is still open").arg(def.name, d->table->name));
    checkName(QStringLiteral("table"), def.name);
    if (def.name.startsWith(QStringLiteral("MSys"), Qt::CaseInsensitive) || d->tableNames.contains(def.name.toLower()))
        throw Error(QStringLiteral("table name already used or reserved: %1").arg(def.name));
    if (def.columns.empty() || def.columns.size() > 255)
        throw Error(QStringLiteral("table %1 must have 1 to 255 columns").arg(def.name));
    std::vector<Col> cols;
    QSet<QString> seen;
    for (const ColumnDef &cd : def.columns) {
        checkName(QStringLiteral("column"), cd.name);
        if (seen.contains(cd.name.toLower()))
            throw Error(QStringLiteral("table %1: column %2 declared twice").arg(def.name, cd.name));
        seen.insert(cd.name.toLower());
        if (cd.type == kText && (cd.maxChars < 1 || cd.maxChars > 255))
            throw Error(
                QStringLiteral("table %1: Text column %2 must hold 1 to 255 characters").arg(def.name, cd.name));
        Col c = makeCol(cd.name, cd.type, cd.type == kText ? cd.maxChars : 0);
        if (cd.type == kDecimal) {
            if (cd.precision < 1 || cd.precision > 28 || cd.scale < 0 || cd.scale > cd.precision)
                throw Error(QStringLiteral("table %1: Decimal column %2 needs 1 to 28 digits, scale 0 to precision")
                                .arg(def.name, cd.name));
            c.precision = cd.precision;
            c.scale = cd.scale;
        }
        cols.push_back(std::move(c));
    }
    d->tableNames.insert(def.name.toLower());
    d->startTable(def.name, std::move(cols), false, d->allocPage());
}

void Writer::addRow(const QVector<QVariant> &values)
{
    d->addRow(values);
}

void Writer::endTable()
{
    d->endTable();
}

quint32 Writer::rowsInTable() const
{
    return d->table ? d->table->rows : 0;
}

void Writer::finish()
{
    if (d->finished)
        return;
    if (d->table)
        d->endTable();

    d->writeCatalog();

    if (!d->firstMapPageUsed) {
        d->firstMapPageUsed = true;
        d->openPage(d->maps, kFirstMapPage, 0, false);
    }
    if (d->maps.open)
        d->flushPage(d->maps);

    const QByteArray header = buildHeaderPage(d->password, toJetDate(d->created));
    d->writePage(0, reinterpret_cast<const quint8 *>(header.constData()));

    if (::fsync(d->fd) != 0 || ::close(d->fd) != 0) {
        d->fd = -1;
        throw Error(
            QStringLiteral("cannot write %1: %2").arg(d->tmpPath, QString::fromLocal8Bit(std::strerror(errno))));
    }
    d->fd = -1;
    // mkstemp() creates the file private; give it the permissions of the file it replaces, or
    // the usual ones for a new file, before it takes its name.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode_t mode = 0666 & ~mask;
    struct stat replaced;
    if (::stat(QFile::encodeName(d->outPath).constData(), &replaced) == 0 && S_ISREG(replaced.st_mode))
        mode = replaced.st_mode & 07777;
    const QByteArray tmp = QFile::encodeName(d->tmpPath);
    ::chmod(tmp.constData(), mode);
    if (::rename(tmp.constData(), QFile::encodeName(d->outPath).constData()) != 0)
        throw Error(QStringLiteral("cannot rename %1 to %2: %3")
                        .arg(d->tmpPath, d->outPath, QString::fromLocal8Bit(std::strerror(errno))));
    d->finished = true;
}

} // namespace jet