#include "data/jet/JetPages.h"

#include "data/jet/JetError.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace jet {

namespace {

bool readFully(int fd, uchar *buf, size_t size, off_t at)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd, buf + done, size - done, at + off_t(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

// A walk over mapped pages, or a page being copied out of the mapping, on this thread: where a
// fault on the mapping (a page of a file cut short) returns to.
thread_local sigjmp_buf *t_walk = nullptr;
thread_local sigjmp_buf *t_copy = nullptr;
struct sigaction g_previousBus;
std::once_flag g_busHandler;

void onBusError(int signal, siginfo_t *info, void *context)
{
    if (sigjmp_buf *walk = t_walk) {
        t_walk = nullptr;
        siglongjmp(*walk, 1);
    }
    if (sigjmp_buf *copy = t_copy) {
        t_copy = nullptr;
        siglongjmp(*copy, 1);
    }
    // Not a walk's: as the process would have had it.
    if ((g_previousBus.sa_flags & SA_SIGINFO) && g_previousBus.sa_sigaction) {
        g_previousBus.sa_sigaction(signal, info, context);
    } else if (g_previousBus.sa_handler != SIG_DFL && g_previousBus.sa_handler != SIG_IGN) {
        g_previousBus.sa_handler(signal);
    } else {
        ::signal(SIGBUS, SIG_DFL); // the faulting access runs again and ends the process
    }
}

void installBusHandler()
{
    std::call_once(g_busHandler, [] {
        struct sigaction action = {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &g_previousBus);
    });
}

// One page out of the mapping; false when it is gone. Nothing here needs destroying, so a fault
// may leave it by a jump, and the jump keeps no signal mask (SIGBUS is not blocked in its
// handler): saving one would cost a system call per page, what the mapping is there to spare.
bool copyMapped(uchar *to, const uchar *from)
{
    sigjmp_buf gone;
    if (sigsetjmp(gone, 0) != 0)
        return false;
    // The fences keep the stores around the copy: the compiler knows memcpy does not read t_copy
    // and would otherwise drop the first store as dead.
    t_copy = &gone;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(to, from, kPageSize);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    t_copy = nullptr;
    return true;
}

} // namespace

PageFile::PageFile(const QString &path) : m_path(path)
{
    // Without blocking: a FIFO or a device in the file's place must be refused, not waited on.
    m_fd = path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        if (path.isEmpty() || errno == ENOENT || errno == ENOTDIR)
            throw Error(Error::NotFound, path);
        throw Error(Error::CannotOpen, path);
    }
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        throw Error(Error::Unrecognised, path);
    if (S_ISDIR(st.st_mode))
        throw Error(Error::Directory, path);
    if (!S_ISREG(st.st_mode))
        throw Error(Error::NotRegular, path);
    if (st.st_size < 0x20)
        throw Error(Error::Unrecognised, path);
    uchar head[0x20];
    if (!readFully(m_fd, head, sizeof head, 0))
        throw Error(Error::Unrecognised, path);
    if (head[0] != 0 || head[1] != 1 || std::memcmp(head + 4, kMagic, sizeof kMagic) != 0)
        throw Error(Error::Unrecognised, path);
    // Only Jet 4 is read; Jet 3 (0) and the newer engines' formats are not.
    if (head[0x14] != 1)
        throw Error(Error::Unrecognised, path);
    if (st.st_size % kPageSize != 0 || st.st_size < 3 * kPageSize)
        throw Error(Error::Damaged, path);
    remeasure();
    // Pages are copied out of a mapping of the file rather than read one system call each: on a
    // machine where a call costs a microsecond, a pass over a table of a million rows spends half
    // its time in pread otherwise. Without a mapping every page is read with pread.
    installBusHandler();
    const size_t bytes = size_t(m_pageCount) * kPageSize;
    void *map = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, m_fd, 0);
    if (map != MAP_FAILED) {
        m_map = static_cast<const uchar *>(map);
        m_mapPages = m_pageCount;
    }
}

PageFile::~PageFile()
{
    if (m_map)
        ::munmap(const_cast<uchar *>(m_map), size_t(m_mapPages) * kPageSize);
    if (m_fd >= 0)
        ::close(m_fd);
}

void PageFile::remeasure()
{
    // A file removed from the path is damaged. One put in its place (renamed over it) is not read
    // here: the pages read so far came from the file opened, so the rest of a statement reads
    // that one too, still whole through its descriptor, and the engine, finding the path changed,
    // runs the statement again on the new file. Reading on in the new file would mix two files.
    struct stat st;
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        damaged();
    if (::fstat(m_fd, &st) != 0)
        damaged();
    m_pageCount = quint32(std::min<qint64>(st.st_size / kPageSize, kMaxPages));
}

void PageFile::damaged() const
{
    throw Error(Error::Damaged, m_path);
}

void PageFile::read(quint32 number, Page &page) const
{
    bool ok = number < m_pageCount;
    if (ok && number < m_mapPages) {
        ok = copyMapped(page.bytes.data(), m_map + size_t(number) * kPageSize);
        // The copies' pages are let go now and then, so that the mapping holds no more than a
        // stretch of the file in memory: a page is mapped in again from the page cache when
        // it is read again, and no one keeps a pointer into the mapping.
        constexpr quint32 kStretch = 1024;
        if (m_mappedReads.fetch_add(1, std::memory_order_relaxed) % kStretch == kStretch - 1)
            ::madvise(const_cast<uchar *>(m_map), size_t(m_mapPages) * kPageSize, MADV_DONTNEED);
    } else if (ok) {
        // Grown since it was opened: the pages past the mapping are read.
        ok = readFully(m_fd, page.bytes.data(), kPageSize, off_t(number) * kPageSize);
    }
    if (!ok) {
        page.number = 0xFFFFFFFF;
        damaged();
    }
    page.number = number;
    if (m_recording)
        m_recorded.push_back(number);
}

namespace {

// FNV-1a over 64-bit words: not a defence against a forger, only against a changed file.
quint64 checksumOf(int fd, const std::vector<quint32> &pages, bool &ok)
{
    quint64 h = 0xcbf29ce484222325ull;
    std::vector<uchar> buf(kPageSize);
    ok = true;
    for (quint32 p : pages) {
        if (!readFully(fd, buf.data(), kPageSize, off_t(p) * kPageSize)) {
            ok = false;
            return 0;
        }
        for (int i = 0; i < kPageSize; i += 8) {
            quint64 w;
            std::memcpy(&w, buf.data() + i, 8);
            h = (h ^ w) * 0x100000001b3ull;
        }
    }
    return h;
}

void describe(const struct stat &st, FileIdentity &id)
{
    id.device = quint64(st.st_dev);
    id.inode = quint64(st.st_ino);
    id.size = qint64(st.st_size);
    id.modifiedSec = qint64(st.st_mtim.tv_sec);
    id.modifiedNsec = qint64(st.st_mtim.tv_nsec);
}

} // namespace

void PageFile::recordReads(bool on)
{
    m_recording = on;
}

FileIdentity PageFile::identity() const
{
    FileIdentity id;
    struct stat st;
    if (::fstat(m_fd, &st) != 0)
        damaged();
    describe(st, id);
    id.pages = m_recorded;
    std::sort(id.pages.begin(), id.pages.end());
    id.pages.erase(std::unique(id.pages.begin(), id.pages.end()), id.pages.end());
    bool ok = false;
    id.checksum = checksumOf(m_fd, id.pages, ok);
    if (!ok)
        damaged();
    return id;
}

bool PageFile::unchanged(const QString &path, const FileIdentity &opened)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st;
    FileIdentity now;
    bool same = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (same) {
        describe(st, now);
        same = now.device == opened.device && now.inode == opened.inode && now.size == opened.size
               && now.modifiedSec == opened.modifiedSec && now.modifiedNsec == opened.modifiedNsec;
    }
    if (same) {
        bool ok = false;
        same = checksumOf(fd, opened.pages, ok) == opened.checksum && ok;
    }
    ::close(fd);
    return same;
}

void PageFile::readData(quint32 number, Page &page, quint32 owner) const
{
    if (page.number != number)
        read(number, page);
    const uchar *p = page.data();
    const bool ok =
        p[0] == pagetype::kData
        && (owner ? get32(p + datapage::kOwner) == owner : std::memcmp(p + datapage::kOwner, "LVAL", 4) == 0);
    if (!ok)
        damaged();
}

QByteArray PageFile::headerPage() const
{
    Page page;
    read(0, page);
    return QByteArray(reinterpret_cast<const char *>(page.data()), kPageSize);
}

bool PageFile::walkMapped(const std::function<void(const uchar *base)> &walk) const
{
    // The file's own mapping, while it holds every page measured (a file grown since it was
    // opened is walked the slow way).
    if (m_pageCount == 0 || !m_map || m_pageCount > m_mapPages)
        return false;
    // The walk maps in pages the copies' releases may not reach for a while: let go at its end.
    auto release = [this] { ::madvise(const_cast<uchar *>(m_map), size_t(m_mapPages) * kPageSize, MADV_DONTNEED); };
    sigjmp_buf walkEnd;
    if (sigsetjmp(walkEnd, 1) != 0) {
        // A page of the mapping was gone: the file was cut short under the walk.
        release();
        damaged();
    }
    t_walk = &walkEnd;
    try {
        walk(m_map);
    } catch (...) {
        t_walk = nullptr;
        release();
        throw;
    }
    t_walk = nullptr;
    release();
    return true;
}

// Jet keeps a usage map in a row of a data page: kind 0, a start page and a bit per page after
// it, or kind 1, pointers to bitmap pages (type 5). Its row may sit at any slot of its page
// (Access fills page 1 with the maps of many tables). Every page it names lies past the file's
// first three pages and inside the file; a page a table's map names but that is not that
// table's data page is found where it is read.
std::vector<quint32> PageFile::usageMap(quint32 pointer) const
{
    Page page;
    read(pointer >> 8, page);
    if (page.data()[0] != pagetype::kData)
        damaged();
    const RowSlot s = slot(page, int(pointer & 0xFF));
    const uchar *map = page.data() + s.start;
    const int len = s.end - s.start;
    std::vector<quint32> pages;
    if (len < usagemap::kBits)
        damaged();
    if (map[usagemap::kKind] == usagemap::kInline) {
        // A start page, then one bit per page from there.
        const quint32 first = get32(map + usagemap::kStartPage);
        for (int i = 0; i < (len - usagemap::kBits) * 8; ++i)
            if (map[usagemap::kBits + i / 8] & (1 << (i % 8)))
                pages.push_back(first + quint32(i));
    } else if (map[usagemap::kKind] == usagemap::kPages) {
        // Pointers to bitmap pages, each covering (page size - 4) * 8 pages.
        const quint32 perPage = usagemap::kPagesPerBitmap;
        Page bitmap;
        for (int k = 0; usagemap::kPointers + (k + 1) * 4 <= len; ++k) {
            const quint32 at = get32(map + usagemap::kPointers + k * 4);
            if (at == 0)
                continue;
            read(at, bitmap);
            if (bitmap.data()[0] != pagetype::kUsageBitmap)
                damaged();
            for (quint32 i = 0; i < perPage; ++i)
                if (bitmap.data()[usagemap::kBitmapBits + i / 8] & (1 << (i % 8)))
                    pages.push_back(quint32(k) * perPage + i);
        }
    } else {
        damaged();
    }
    for (quint32 p : pages)
        if (p < 3 || p >= m_pageCount)
            damaged();
    return pages;
}

} // namespace jet
