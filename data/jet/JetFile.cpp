#include "data/jet/JetFile.h"

#include "data/jet/JetCatalog.h"
#include "data/jet/JetError.h"
#include "data/jet/JetHeader.h"
#include "data/jet/JetPages.h"
#include "data/jet/JetRows.h"

#include <map>
#include <new>

namespace {

StorageClass kindOf(quint8 type)
{
    switch (type) {
    case jet::kByte:
    case jet::kInteger:
    case jet::kLong: return StorageClass::Integer;
    case jet::kSingle:
    case jet::kDouble: return StorageClass::Real;
    case jet::kCurrency:
    case jet::kDecimal: return StorageClass::Number;
    case jet::kDateTime: return StorageClass::Date;
    case jet::kBoolean: return StorageClass::Boolean;
    default: return StorageClass::Text;
    }
}

int columnIndex(const jet::StoredTable &t, const char *name)
{
    for (size_t i = 0; i < t.columns.size(); ++i)
        if (t.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

} // namespace

struct JetFile::Impl
{
    std::unique_ptr<jet::PageFile> file;
    QString password;
    std::vector<jet::StoredTable> tables;
    jet::FileIdentity identity;

    const jet::StoredTable &table(const QString &name) const
    {
        for (const jet::StoredTable &t : tables)
            if (t.name.compare(name, Qt::CaseInsensitive) == 0)
                return t;
        throw jet::Error(jet::Error::NoSuchTable, file->path(), name);
    }

    // The definition as the file holds it now: the file may have been rewritten since it was
    // opened. Its columns must be those the connection knows; its pages may have moved.
    jet::StoredTable current(const QString &name) const
    {
        const jet::StoredTable &known = table(name);
        file->remeasure();
        jet::StoredTable now = jet::readTableDef(*file, known.page, known.name);
        if (!now.sound || now.columns.size() != known.columns.size())
            file->damaged();
        for (size_t i = 0; i < now.columns.size(); ++i) {
            const jet::StoredColumn &a = now.columns[i];
            const jet::StoredColumn &b = known.columns[i];
            if (a.name != b.name || a.type != b.type || a.number != b.number || a.fixed != b.fixed
                || a.fixedOffset != b.fixedOffset || a.varIndex != b.varIndex || a.size != b.size || a.scale != b.scale)
                file->damaged();
        }
        return now;
    }

    // The catalog's own rows name the tables: type 1, without the system flags; the low three
    // bytes of the id are the definition page. Jet's catalog has the columns Id, Name, Type and
    // Flags; a table row has an id and a name Jet would store, names a definition page inside
    // the file past the header and the catalog's usage map, and no two tables share a name
    // (whatever the case) or a definition. A catalog that breaks these is the whole file's
    // damage: which rows are its tables is not known.
    void readCatalog()
    {
        const jet::StoredTable catalog = jet::readTableDef(*file, jet::kCatalogPage, QStringLiteral("MSysObjects"));
        const int id = columnIndex(catalog, "Id");
        const int name = columnIndex(catalog, "Name");
        const int type = columnIndex(catalog, "Type");
        const int flags = columnIndex(catalog, "Flags");
        if (id < 0 || name < 0 || type < 0 || flags < 0)
            file->damaged();
        jet::TableCursor rows(*file, catalog, {id, name, type, flags});
        // Every table, system tables too, has a definition of its own: two rows naming one would
        // read one table's rows as another's.
        std::map<quint32, int> definitions;
        while (rows.next()) {
            const std::vector<JetCell> &c = rows.cells();
            if (c[2].storage != JetCell::Integer || c[2].integer != 1)
                continue;
            if (c[0].storage == JetCell::Integer)
                ++definitions[quint32(c[0].integer) & 0x00FFFFFF];
            if (c[3].storage == JetCell::Integer && (quint32(c[3].integer) & 0x80000002u))
                continue;
            if (c[0].storage != JetCell::Integer || c[1].storage != JetCell::Text || c[1].text.empty())
                file->damaged();
            const QString tableName = QString::fromUtf8(c[1].text.data(), int(c[1].text.size()));
            if (!jet::validName(tableName))
                file->damaged();
            const quint32 page = quint32(c[0].integer) & 0x00FFFFFF;
            if (page < 3 || page >= file->pageCount())
                file->damaged();
            for (const jet::StoredTable &t : tables)
                if (t.name.compare(tableName, Qt::CaseInsensitive) == 0)
                    file->damaged();
            tables.push_back(jet::readTableDef(*file, page, tableName));
        }
        for (jet::StoredTable &t : tables)
            if (definitions[t.page] > 1)
                t.sound = false;
    }
};

JetFile::JetFile(const QString &path, const QString &password) : d(new Impl)
{
    d->file = std::make_unique<jet::PageFile>(path);
    d->file->recordReads(true);
    d->password = jet::readDatabasePassword(d->file->headerPage());
    if (!d->password.isEmpty() && d->password != password)
        throw jet::Error(jet::Error::BadPassword, path);
    try {
        d->readCatalog();
    } catch (const std::bad_alloc &) {
        throw jet::Error(jet::Error::OutOfMemory, d->file->path());
    }
    d->file->recordReads(false);
    d->identity = d->file->identity();
}

bool JetFile::isCurrent() const
{
    return jet::PageFile::unchanged(d->file->path(), d->identity);
}

const QString &JetFile::path() const
{
    return d->file->path();
}

JetFile::~JetFile() = default;

QString JetFile::databasePassword() const
{
    return d->password;
}

QStringList JetFile::tableNames() const
{
    QStringList names;
    for (const jet::StoredTable &t : d->tables)
        names << t.name;
    return names;
}

QString JetFile::findTable(const QString &name) const
{
    for (const jet::StoredTable &t : d->tables)
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return t.name;
    return QString();
}

QVector<JetColumn> JetFile::columns(const QString &table) const
{
    QVector<JetColumn> columns;
    const jet::StoredTable &t = d->table(table);
    if (!t.sound)
        d->file->damaged();
    for (const jet::StoredColumn &c : t.columns)
        columns.push_back({c.name, kindOf(c.type), jet::decodable(c.type), c.type, c.size, c.precision, c.scale});
    return columns;
}

quint32 JetFile::storedRowCount(const QString &table) const
{
    return d->table(table).rowCount;
}

std::unique_ptr<jet::TableCursor> JetFile::openTable(const QString &table, const std::vector<int> &columns)
{
    return std::make_unique<jet::TableCursor>(*d->file, d->current(table), columns);
}

void JetFile::verifyTable(const QString &table)
{
    d->current(table);
}

void JetFile::readTable(const QString &name, JetRowSink &sink)
{
    const jet::StoredTable table = d->current(name);
    std::vector<int> all(table.columns.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    try {
        jet::TableCursor rows(*d->file, table, all);
        sink.begin(columns(name));
        while (rows.next())
            sink.row(rows.cells());
    } catch (const std::bad_alloc &) {
        throw jet::Error(jet::Error::OutOfMemory, d->file->path());
    }
}
