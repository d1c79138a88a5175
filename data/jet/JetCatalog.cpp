#include "data/jet/JetCatalog.h"

#include "data/jet/JetLayout.h"
#include "data/jet/JetValues.h"

#include <algorithm>
#include <set>
#include <utility>

namespace jet {

namespace {

constexpr int kMaxDefinitionPages = 256;

// A column's type against its layout. Each rule refuses only what cannot be read soundly; what
// Jet itself allows is written beside it. Types the reader does not know are left to the
// unsupported-type error of the statements that read them.
bool soundColumn(const StoredColumn &c)
{
    // Whatever a fixed column's type, its bytes lie inside the largest row Jet keeps.
    if (c.fixed && c.fixedOffset + c.size > kMaxRowSize)
        return false;
    if (const int size = fixedSize(c.type)) {
        // Jet declares every numeric, date and GUID column at its type's size. Access keeps them
        // fixed; other Jet writers keep a Decimal in the row's variable part, read from there (a
        // field shorter than the type is damage, found where the row is read). A different size
        // would make two layouts disagree on where the value lies.
        if (c.size != size)
            return false;
        // Access allows precision 1 to 28 and a scale of 0 up to the precision (Decimal(4,4)).
        return c.type != kDecimal || (c.precision <= 28 && c.scale <= c.precision);
    }
    switch (c.type) {
    // The value lives in the null mask; Access declares the column fixed or not, with size 0 or 1.
    case kBoolean: return c.size <= 1;
    // Variable Text and Binary are bounded by the row's offsets whatever size they declare
    // (Access declares Text up to 255 characters, Binary up to 255 bytes, and 510 for
    // MSysObjects' Owner and RmtInfoShort). Fixed ones, as other Jet writers make them, are read
    // as their declared size of the row's fixed part, so that size must be there.
    case kText:
    case kBinary: return !c.fixed || c.size > 0;
    // A long value is a 12-byte reference or an inline value in the variable part: never fixed.
    case kMemo:
    case kOle: return !c.fixed;
    default: return true;
    }
}

// Each column has a null-mask bit and, when variable, an offset-table entry of its own, and no
// two fixed columns share a byte of the row (Yes/No columns take none): Jet lays them out so;
// anything else would read one stored value as two columns.
bool soundLayout(const std::vector<StoredColumn> &columns)
{
    std::set<int> numbers, variables;
    std::vector<std::pair<int, int>> ranges;
    for (const StoredColumn &c : columns) {
        if (!soundColumn(c) || !numbers.insert(c.number).second)
            return false;
        if (!c.fixed && c.type != kBoolean && (c.varIndex > 0xFF || !variables.insert(c.varIndex).second))
            return false;
        if (c.fixed && c.type != kBoolean && c.size > 0)
            ranges.emplace_back(c.fixedOffset, c.fixedOffset + c.size);
    }
    std::sort(ranges.begin(), ranges.end());
    for (size_t i = 1; i < ranges.size(); ++i)
        if (ranges[i].first < ranges[i - 1].second)
            return false;
    return true;
}

} // namespace

bool validName(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxNameLength)
        return false;
    for (QChar ch : name)
        if (ch.unicode() < 0x20)
            return false;
    return true;
}

StoredTable readTableDef(const PageFile &file, quint32 first, const QString &name)
{
    // The definition: the first page whole, then each further page after its 8-byte header. Jet
    // chains a long definition over pages of type 2, each named once; anything else (another
    // page type, a page named twice, a chain longer than 255 columns and their indexes need)
    // is no definition at all.
    std::vector<uchar> td;
    Page page;
    std::set<quint32> seen;
    for (quint32 at = first; at != 0;) {
        if (!seen.insert(at).second || seen.size() > size_t(kMaxDefinitionPages))
            file.damaged();
        file.read(at, page);
        if (page.data()[0] != pagetype::kDefinition || page.data()[1] != pagetype::kJet4)
            file.damaged();
        td.insert(td.end(), page.data() + (at == first ? 0 : tdef::kContinuationHeader), page.data() + kPageSize);
        at = get32(page.data() + tdef::kNextPage);
    }
    StoredTable t;
    t.name = name;
    t.page = first;
    t.rowCount = get32(td.data() + tdef::kRowCount);
    t.ownedPages = get32(td.data() + tdef::kOwnedPages);
    const int columns = get16(td.data() + tdef::kColumnCount);
    const quint32 realIndexes = get32(td.data() + tdef::kRealIndexes);
    // Jet keeps 1 to 255 columns and at most a few dozen indexes in a definition whose entries
    // all lie in its pages. A definition that says otherwise is this table's damage alone: the
    // file and its other tables still read.
    size_t at = size_t(tdef::kEntries) + size_t(realIndexes) * tdef::kRealIndexEntry;
    if (columns == 0 || realIndexes > 1000 || at + size_t(columns) * column::kEntry > td.size()) {
        t.sound = false;
        return t;
    }
    for (int i = 0; i < columns; ++i, at += column::kEntry) {
        const uchar *e = td.data() + at;
        StoredColumn c;
        c.type = e[column::kType];
        c.number = get16(e + column::kNumber);
        c.varIndex = get16(e + column::kVarIndex);
        c.precision = e[column::kPrecision];
        c.scale = e[column::kScale];
        c.fixed = e[column::kFlags] & column::kFixed;
        c.fixedOffset = get16(e + column::kFixedOffset);
        c.size = get16(e + column::kSize);
        if (c.number > 0xFF)
            t.sound = false;
        t.columns.push_back(c);
    }
    std::string utf8;
    std::set<QString> names;
    for (StoredColumn &c : t.columns) {
        // A name that runs past the definition: the table is damaged, the file may be whole.
        if (at + 2 > td.size()) {
            t.sound = false;
            break;
        }
        const int len = get16(td.data() + at);
        at += 2;
        if (len == 0 || at + size_t(len) > td.size()) {
            t.sound = false;
            break;
        }
        // Jet's names: 1 to 64 characters, no control character, each column's its own
        // whatever the case.
        decodeText(td.data() + at, size_t(len), utf8);
        at += size_t(len);
        c.name = QString::fromUtf8(utf8.data(), int(utf8.size()));
        if (!validName(c.name) || !names.insert(c.name.toCaseFolded()).second)
            t.sound = false;
    }
    t.sound = t.sound && soundLayout(t.columns);
    // The entries need not be in the columns' order (Access keeps its system tables' sorted by
    // name): a table's columns are in the order of their numbers, as Access shows them.
    std::stable_sort(t.columns.begin(), t.columns.end(),
                     [](const StoredColumn &a, const StoredColumn &b) { return a.number < b.number; });
    return t;
}

} // namespace jet
