#pragma once

#include "data/jet/JetFormat.h"
#include "data/jet/JetLayout.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <vector>

// Page access to a Jet 4 file: every page is copied into the caller's buffer out of a guarded
// read-only mapping (or read with pread) and checked before use (or, for a walk over many pages,
// seen in the mapping itself), so a file that is cut short, rewritten or removed while it is
// open gives the damaged-file error, never a fault.
namespace jet {

// What tells whether the file at a path is still the one that was opened, cheaply enough to ask
// before every statement: its device, inode, size and modification time, and a checksum of the
// pages read while it was recorded (the header and the catalog).
struct FileIdentity
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = -1;
    qint64 modifiedSec = 0;
    qint64 modifiedNsec = 0;
    std::vector<quint32> pages; // ascending, each once
    quint64 checksum = 0;
};

inline quint16 get16(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}
inline quint32 get32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

// One page in memory.
struct Page
{
    std::vector<uchar> bytes = std::vector<uchar>(kPageSize);
    quint32 number = 0xFFFFFFFF;
    const uchar *data() const { return bytes.data(); }
};

// A row of a data or long-value page: where it lies and its offset flags (0x8000 deleted,
// 0x4000 a pointer to the row's real place).
struct RowSlot
{
    int start = 0;
    int end = 0;
    quint16 flags = 0;
};

class PageFile
{
public:
    // Opens the file and checks its header: a Jet 4 file of whole pages. Throws jet::Error.
    explicit PageFile(const QString &path);
    ~PageFile();
    PageFile(const PageFile &) = delete;
    PageFile &operator=(const PageFile &) = delete;

    const QString &path() const { return m_path; }
    // Pages in the file when it was last measured. Every statement measures it again; a file
    // removed since is damaged, one put in its place (renamed over it) is left to the caller,
    // who finds it with unchanged(): this object goes on reading the file it opened.
    quint32 pageCount() const { return m_pageCount; }
    void remeasure();

    // Reads page `number`; damaged when the file does not hold it (any more).
    void read(quint32 number, Page &page) const;
    // The same, and checks that it is a data page (type 1) whose owner field is `owner`, or a
    // long-value page when `owner` is 0.
    void readData(quint32 number, Page &page, quint32 owner) const;
    QByteArray headerPage() const;

    [[noreturn]] void damaged() const;

    // While on, read() notes the page numbers it reads (for identity()).
    void recordReads(bool on);
    // The open file's identity over the pages read while recording.
    FileIdentity identity() const;
    // Whether `path` holds, now, the file `opened` describes: opened afresh without blocking, a
    // regular file of the same device, inode, size and time whose recorded pages still give the
    // same checksum. Never throws.
    static bool unchanged(const QString &path, const FileIdentity &opened);

    // Bounds of row `row` of a data page; damaged when the page does not hold it.
    RowSlot slot(const Page &page, int row) const { return slot(page, row, rowCount(page)); }
    // The same on a page known to hold `rows` rows (rowCount()), for a walk over its rows.
    RowSlot slot(const Page &page, int row, int rows) const { return slot(page.data(), row, rows); }
    // The same on the bytes of a page. Jet's rows grow down from the page's end, each ending
    // where the one before it starts, all of them past the slot table.
    RowSlot slot(const uchar *p, int row, int rows) const
    {
        if (row < 0 || row >= rows)
            damaged();
        RowSlot s;
        const quint16 entry = get16(p + datapage::kOffsets + row * 2);
        s.flags = entry & datapage::kFlagsMask;
        s.start = entry & datapage::kOffsetMask;
        s.end = row == 0 ? kPageSize : (get16(p + datapage::kOffsets + (row - 1) * 2) & datapage::kOffsetMask);
        if (s.start < datapage::kOffsets + rows * 2 || s.start > s.end || s.end > kPageSize)
            damaged();
        return s;
    }
    int rowCount(const Page &page) const { return rowCount(page.data()); }
    int rowCount(const uchar *page) const
    {
        const int rows = get16(page + datapage::kRowCount);
        if (datapage::kOffsets + rows * 2 > kPageSize)
            damaged();
        return rows;
    }

    // Runs `walk` on the file's pages as its read-only mapping shows them (page n at base +
    // n * kPageSize, for the pageCount() pages last measured), for a walk that reads a little of
    // many pages without copying them. A page that goes missing meanwhile (the file cut short)
    // gives the damaged-file error, not a fault; `walk` then ends where it stood, so it keeps no
    // object that needs destroying. False, without calling `walk`, when the file could not be
    // mapped or has grown past its mapping.
    bool walkMapped(const std::function<void(const uchar *base)> &walk) const;

    // The pages a usage map names, ascending; the map is the row that `pointer` (page << 8 | row)
    // names. Damaged when the map or any bitmap page it names is not one.
    std::vector<quint32> usageMap(quint32 pointer) const;

private:
    QString m_path;
    int m_fd = -1;
    quint32 m_pageCount = 0;
    const uchar *m_map = nullptr; // the file's first m_mapPages pages, as opened
    quint32 m_mapPages = 0;
    mutable std::atomic<quint32> m_mappedReads{0};
    bool m_recording = false;
    mutable std::vector<quint32> m_recorded;
};

} // namespace jet
