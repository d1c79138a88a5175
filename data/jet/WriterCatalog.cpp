#include "data/jet/WriterImpl.h"

namespace jet {

using namespace writer;

namespace {

// Catalog ids of the objects every Access database holds. Strict readers look the containers
// up by these ids and names: a user table must name "Tables" as its parent.
constexpr qint32 kRootId = 0x0f000000;
constexpr qint32 kTablesId = 0x0f000001;
constexpr qint32 kDatabasesId = 0x0f000002;
constexpr qint32 kRelationshipsId = 0x0f000003;
constexpr qint32 kMSysDbId = 0x10000000;
constexpr qint32 kFirstContainerId = qint32(0x80000000u); // the other containers count up from here
constexpr qint32 kSystemFlags = qint32(0x80000000u);

enum ObjectType : qint32 { kTableObject = 1, kDatabaseObject = 2, kContainerObject = 3 };

// MSysObjects' columns as Access declares them (its two Binary columns of 510 bytes); the rows below fill them in this order.
std::vector<Col> catalogColumns()
{
    return {
        makeCol(QStringLiteral("Id"), kLong),
        makeCol(QStringLiteral("ParentId"), kLong),
        makeCol(QStringLiteral("Name"), kText, 255),
        makeCol(QStringLiteral("Type"), kInteger),
        makeCol(QStringLiteral("DateCreate"), kDateTime),
        makeCol(QStringLiteral("DateUpdate"), kDateTime),
        makeCol(QStringLiteral("Owner"), kBinary, 510),
        makeCol(QStringLiteral("Flags"), kLong),
        makeCol(QStringLiteral("Database"), kMemo),
        makeCol(QStringLiteral("Connect"), kMemo),
        makeCol(QStringLiteral("ForeignName"), kText, 255),
        makeCol(QStringLiteral("RmtInfoShort"), kBinary, 510),
        makeCol(QStringLiteral("RmtInfoLong"), kOle),
        makeCol(QStringLiteral("Lv"), kOle),
        makeCol(QStringLiteral("LvProp"), kOle),
        makeCol(QStringLiteral("LvModule"), kOle),
        makeCol(QStringLiteral("LvExtra"), kOle),
    };
}

} // namespace

void Writer::Impl::writeCatalog()
{
    // The system tables Access creates with every database, empty: readers that list
    // relationships, queries or permissions open them. Their columns in Access's numbering, of
    // its types and sizes.
    const struct
    {
        const char *name;
        quint32 page;
        std::vector<Col> cols;
    } systemTables[] = {
        {"MSysACEs",
         kAcesPage,
         {makeCol(QStringLiteral("ObjectId"), kLong), makeCol(QStringLiteral("SID"), kBinary, 510),
          makeCol(QStringLiteral("ACM"), kLong), makeCol(QStringLiteral("FInheritable"), kBoolean)}},
        {"MSysQueries",
         kQueriesPage,
         {makeCol(QStringLiteral("ObjectId"), kLong), makeCol(QStringLiteral("Attribute"), kByte),
          makeCol(QStringLiteral("Order"), kBinary, 510), makeCol(QStringLiteral("Name1"), kText, 255),
          makeCol(QStringLiteral("Name2"), kText, 255), makeCol(QStringLiteral("Expression"), kMemo),
          makeCol(QStringLiteral("Flag"), kInteger), makeCol(QStringLiteral("LvExtra"), kLong)}},
        {"MSysRelationships",
         kRelationshipsPage,
         {makeCol(QStringLiteral("szRelationship"), kText, 255), makeCol(QStringLiteral("grbit"), kLong),
          makeCol(QStringLiteral("ccolumn"), kLong), makeCol(QStringLiteral("icolumn"), kLong),
          makeCol(QStringLiteral("szObject"), kText, 255), makeCol(QStringLiteral("szColumn"), kText, 255),
          makeCol(QStringLiteral("szReferencedObject"), kText, 255),
          makeCol(QStringLiteral("szReferencedColumn"), kText, 255)}},
    };
    for (const auto &s : systemTables) {
        startTable(QString::fromLatin1(s.name), s.cols, true, s.page);
        endTable();
    }

    const std::vector<CatalogEntry> tables = catalog;
    startTable(QStringLiteral("MSysObjects"), catalogColumns(), true, kCatalogPage);
    // Each object gets an empty property block, as tools that read properties expect one.
    const QVariant noProperties(QByteArray("MR2\0", 4));
    const QVariant null;
    auto object = [&](qint32 id, qint32 parent, const QString &name, qint32 type, qint32 flags, const QVariant &props) {
        addRow({QVariant(id), QVariant(parent), QVariant(name), QVariant(type), QVariant(created), QVariant(created),
                null, QVariant(flags), null, null, null, null, null, null, props, null, null});
    };
    object(kTablesId, kRootId, QStringLiteral("Tables"), kContainerObject, kSystemFlags, null);
    object(kDatabasesId, kRootId, QStringLiteral("Databases"), kContainerObject, kSystemFlags, null);
    object(kRelationshipsId, kRootId, QStringLiteral("Relationships"), kContainerObject, kSystemFlags, null);
    object(qint32(kCatalogPage), kTablesId, QStringLiteral("MSysObjects"), kTableObject, kSystemFlags, noProperties);
    for (const auto &s : systemTables)
        object(qint32(s.page), kTablesId, QString::fromLatin1(s.name), kTableObject, kSystemFlags, noProperties);
    object(kMSysDbId, kDatabasesId, QStringLiteral("MSysDb"), kDatabaseObject, 0, noProperties);
    const char *containers[] = {"DataAccessPages", "Forms", "Modules", "Reports", "Scripts", "SysRel"};
    qint32 containerId = kFirstContainerId;
    for (const char *c : containers)
        object(containerId++, kRootId, QString::fromLatin1(c), kContainerObject, 0, null);
    for (const CatalogEntry &e : tables)
        if (!e.system)
            object(qint32(e.tdefPage), kTablesId, e.name, kTableObject, 0, noProperties);
    endTable();
}

} // namespace jet
