#include "SpillFile.h"

#include "ReadAhead.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace corvanel {

SpillFile::~SpillFile() = default;

void SpillFile::readAhead(qint64, qint64) {}

SpillFile::Outcome SpillFile::readAtHand(qint64 offset, char *data, qsizetype n) const
{
    return read(offset, data, n) ? Outcome::Done : Outcome::Failed;
}

bool SpillFile::fetch(qint64, qint64, const std::function<void()> &)
{
    return false;
}

QString SpillFile::errorString() const
{
    return QStringLiteral("unknown error");
}

namespace {

class TemporaryFile final : public SpillFile
{
public:
    explicit TemporaryFile(int fd) : m_fd(fd), m_ahead(std::make_unique<ReadAhead>(fd)) { mapOnce(); }
    ~TemporaryFile() override
    {
        if (m_view)
            ::munmap(m_view, size_t(m_viewLength));
        m_ahead.reset(); // its thread ends before the descriptor can mean another file
        ::close(m_fd);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    bool write(qint64 offset, const char *data, qsizetype n) override
    {
        return whole(::pwrite, data, n, offset, ENOSPC);
    }

    bool read(qint64 offset, char *data, qsizetype n) const override
    {
        return whole(::pread, data, n, offset, EIO); // EIO: the file is shorter than what was written
    }

    // Only from the page cache, and without starting any reading: through a
    // mapping that reads no more than it is asked (MADV_RANDOM), copied from
    // only once every page of it is found in the cache. A read with
    // RWF_NOWAIT would, on a miss, start the kernel's read-ahead from this
    // thread, and that can wait for a busy disk's queue. (A page dropped
    // between the look and the copy is read then, waiting: rare, and right.)
    //
    // The look goes through one mapping of the whole file, made at the
    // start and again only after hundreds of copies (unmapPages), so a paint
    // almost never maps or unmaps: that takes the address space's lock for
    // writing, and waits for every other thread's use of it, while looking
    // and copying only read under it.
    Outcome readAtHand(qint64 offset, char *data, qsizetype n) const override
    {
        static const qint64 page = ::sysconf(_SC_PAGESIZE);
        const qint64 start = offset / page * page;
        const qint64 length = offset + n - start;
        if (offset + n <= m_viewLength) {
            const Outcome outcome = copyIfCached(m_view + start, offset - start, offset, data, n);
            if (outcome != Outcome::WouldWait) // copied, and so mapped, or (rarely) read without it
                unmapPages(start, length);
            return outcome;
        }
        void *map = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, m_fd, off_t(start));
        if (map == MAP_FAILED)
            return readWithoutWaiting(offset, data, n);
        ::madvise(map, size_t(length), MADV_RANDOM);
        const Outcome outcome = copyIfCached(static_cast<char *>(map), offset - start, offset, data, n);
        ::munmap(map, size_t(length));
        return outcome;
    }

    void readAhead(qint64 offset, qint64 n) override { m_ahead->request(offset, n); }
    bool fetch(qint64 offset, qint64 n, const std::function<void()> &arrived) override
    {
        return m_ahead->fetch(offset, n, arrived);
    }

    void truncate() override
    {
        m_ahead->cancel();
        if (::ftruncate(m_fd, 0) != 0)
            m_error = errno;
    }

    QString errorString() const override { return QString::fromLocal8Bit(std::strerror(m_error)); }

private:
    // Calls a positional read or write until all n bytes are done; on
    // failure keeps errno, or `noProgress` when a call did nothing.
    template <typename Io, typename Byte>
    bool whole(Io io, Byte *data, qsizetype n, qint64 offset, int noProgress) const
    {
        while (n > 0) {
            const ssize_t done = io(m_fd, data, size_t(n), off_t(offset));
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0) {
                m_error = done < 0 ? errno : noProgress;
                return false;
            }
            data += done;
            n -= done;
            offset += done;
        }
        return true;
    }

    // Maps the whole file, and room for it to grow into, once: a 64-bit
    // address space has room to spare, and the mapping costs no memory
    // until it is read through. Not where the address space is limited
    // (ulimit -v), where it would take room the program's memory may need.
    // Without it each look maps its own.
    void mapOnce() const
    {
        rlimit limit {};
        if (sizeof(void *) < 8 || ::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY)
            return;
        for (qint64 size = qint64(1) << 43; size >= qint64(1) << 31; size /= 8) {
            void *view = ::mmap(nullptr, size_t(size), PROT_READ, MAP_SHARED, m_fd, 0);
            if (view != MAP_FAILED) {
                ::madvise(view, size_t(size), MADV_RANDOM);
                m_view = static_cast<char *>(view);
                m_viewLength = size;
                return;
            }
        }
    }

    // Looks whether every page of [map, map + skip + n), the file's bytes
    // from offset - skip on, is in the page cache, and if so copies the n
    // bytes at offset into data.
    Outcome copyIfCached(char *map, qint64 skip, qint64 offset, char *data, qsizetype n) const
    {
        static const qint64 page = ::sysconf(_SC_PAGESIZE);
        const size_t length = size_t(skip + n);
        m_resident.resize((length + size_t(page) - 1) / size_t(page));
        if (::mincore(map, length, m_resident.data()) != 0)
            return readWithoutWaiting(offset, data, n);
        if (!std::all_of(m_resident.begin(), m_resident.end(), [](unsigned char c) { return c & 1; }))
            return Outcome::WouldWait;
        // Copied by the kernel rather than by touching the mapping, so that
        // a page dropped since the look, and failing to read back, is an
        // error the ordinary read reports rather than a SIGBUS.
        iovec to {data, size_t(n)};
        iovec from {map + skip, size_t(n)};
        if (::process_vm_readv(::getpid(), &to, 1, &from, 1, 0) == ssize_t(n))
            return Outcome::Done;
        return read(offset, data, n) ? Outcome::Done : Outcome::Failed;
    }

    // The copy through the lasting mapping left the pages it read mapped,
    // and the kernel maps some of their neighbours with them (fault-around,
    // 64 KB by default, never past the 2 MB of addresses one page table
    // covers): dropped from the mapping, not from the page cache, so that
    // what was read is not counted as the program's memory. The page tables
    // stay (kernels before 6.14 keep them, 4 KB for each 2 MB read through),
    // so once in a while the whole mapping is made again, which frees them.
    void unmapPages(qint64 start, qint64 length) const
    {
        constexpr int RemapEvery = 512; // copies: at most 4 MB of page tables
        if (++m_copies % RemapEvery == 0) {
            ::munmap(m_view, size_t(m_viewLength));
            m_view = nullptr;
            m_viewLength = 0;
            mapOnce();
            return;
        }
        constexpr qint64 Around = qint64(2) << 20;
        // Offsets aligned as their addresses are: m_view need not be.
        const auto skew = qint64(reinterpret_cast<quintptr>(m_view) % quintptr(Around));
        const qint64 from = std::max((start + skew) / Around * Around - skew, qint64(0));
        const qint64 to = std::min((start + length + skew + Around - 1) / Around * Around - skew, m_viewLength);
        ::madvise(m_view + from, size_t(to - from), MADV_DONTNEED);
    }

    // Where the file cannot be mapped: a read that fails rather than waits
    // (though on a miss it starts the kernel's read-ahead).
    Outcome readWithoutWaiting(qint64 offset, char *data, qsizetype n) const
    {
        while (n > 0) {
            iovec io {data, size_t(n)};
            const ssize_t done = ::preadv2(m_fd, &io, 1, off_t(offset), RWF_NOWAIT);
            if (done < 0 && errno == EINTR)
                continue;
            if (done < 0 && errno == EAGAIN)
                return Outcome::WouldWait;
            if (done < 0 && errno == EOPNOTSUPP) // a file system that cannot tell: just read
                return read(offset, data, n) ? Outcome::Done : Outcome::Failed;
            if (done <= 0) {
                m_error = done < 0 ? errno : EIO;
                return Outcome::Failed;
            }
            data += done;
            n -= done;
            offset += done;
        }
        return Outcome::Done;
    }

    const int m_fd;
    std::unique_ptr<ReadAhead> m_ahead;
    mutable int m_error = 0;
    mutable std::vector<unsigned char> m_resident; // mincore()'s answer, a byte a page
    mutable char *m_view = nullptr; // the whole file mapped (mapOnce), or none
    mutable qint64 m_viewLength = 0;
    mutable qint64 m_copies = 0; // through m_view, for unmapPages()
};

std::unique_ptr<SpillFile> openIn(const QString &dir)
{
    if (dir.isEmpty())
        return nullptr;
    const QByteArray path = QFile::encodeName(dir);
    // A file without a name from the start: nothing is left behind whatever
    // happens to the program.
    int fd = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        // Some file systems cannot make one; a named file, unlinked at once, is
        // the next best thing.
        QByteArray name = path + "/corvanel-receive-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0)
            ::unlink(name.constData());
    }
    if (fd < 0)
        return nullptr;
    return std::make_unique<TemporaryFile>(fd);
}

// Makes the directory, and any of its parents that are missing, as the XDG
// rule asks of a program: 0700, so that only its user can look in. Those
// already there stay as they are. True when the directory is there.
bool makePrivatePath(const QString &path)
{
    if (QFileInfo(path).isDir())
        return true;
    const QString parent = QFileInfo(path).path();
    if (parent == path || !makePrivatePath(parent))
        return false;
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || QFileInfo(path).isDir();
}

} // namespace

std::unique_ptr<SpillFile> openSpillFile()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || QDir::isRelativePath(cache)) // a relative one is to be ignored
        cache = QDir::homePath() + QStringLiteral("/.cache");
    if (makePrivatePath(QDir::cleanPath(cache))) {
        if (auto file = openIn(cache))
            return file;
    }
    return openIn(QDir::tempPath());
}

} // namespace corvanel
