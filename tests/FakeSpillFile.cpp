#include "FakeSpillFile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <utility>

using namespace corvanel;

namespace {

class FakeFile : public SpillFile
{
public:
    explicit FakeFile(std::shared_ptr<FakeDisk> disk) : m_disk(std::move(disk)) {}
    bool write(qint64 offset, const char *data, qsizetype n) override
    {
        const int attempt = ++m_disk->writes;
        if (n != m_disk->chunk || offset % m_disk->chunk != 0)
            m_disk->misalignedWrite = true;
        if (attempt >= m_disk->failFrom && attempt <= m_disk->failUntil)
            return false;
        if (m_disk->bytes.size() < offset + n)
            m_disk->bytes.resize(offset + n);
        std::memcpy(m_disk->bytes.data() + offset, data, size_t(n));
        return true;
    }
    bool read(qint64 offset, char *data, qsizetype n) const override
    {
        ++m_disk->reads;
        if (m_disk->failReads || offset + n > m_disk->bytes.size())
            return false;
        std::memcpy(data, m_disk->bytes.constData() + offset, size_t(n));
        return true;
    }
    void truncate() override { m_disk->bytes.clear(); }
    void readAhead(qint64 offset, qint64 n) override { m_disk->readAheads.emplace_back(offset, n); }
    Outcome readAtHand(qint64 offset, char *data, qsizetype n) const override
    {
        ++m_disk->atHandLooks;
        if (m_disk->slow)
            return Outcome::WouldWait;
        --m_disk->reads; // not one that waits
        return SpillFile::readAtHand(offset, data, n);
    }
    bool fetch(qint64 offset, qint64 n, const std::function<void()> &arrived) override
    {
        m_disk->fetches.emplace_back(offset, n);
        m_disk->arrivals.push_back(arrived);
        return true;
    }
    QString errorString() const override { return QStringLiteral("No space left on device"); }

private:
    std::shared_ptr<FakeDisk> m_disk;
};

} // namespace

void FakeDisk::arrive()
{
    slow = false;
    for (const auto &arrived : std::exchange(arrivals, {}))
        arrived();
}

ByteStore::FileFactory fakeFiles(const std::shared_ptr<FakeDisk> &disk)
{
    return [disk]() -> std::unique_ptr<SpillFile> {
        ++disk->opens;
        return std::make_unique<FakeFile>(disk);
    };
}

namespace {

class PatternFile : public SpillFile
{
public:
    explicit PatternFile(std::shared_ptr<PatternDisk> disk) : m_disk(std::move(disk)) {}
    bool write(qint64 offset, const char *data, qsizetype n) override
    {
        const QByteArray &p = m_disk->pattern;
        if (n > 0 && (data[0] != p[offset % p.size()] || data[n - 1] != p[(offset + n - 1) % p.size()]))
            ++m_disk->mismatches;
        m_disk->size = std::max(m_disk->size, offset + n);
        return true;
    }
    bool read(qint64 offset, char *data, qsizetype n) const override
    {
        if (offset + n > m_disk->size)
            return false;
        const QByteArray &p = m_disk->pattern;
        for (qsizetype done = 0; done < n;) {
            const qsizetype phase = (offset + done) % p.size();
            const qsizetype take = std::min(n - done, p.size() - phase);
            std::memcpy(data + done, p.constData() + phase, size_t(take));
            done += take;
        }
        return true;
    }
    void truncate() override { m_disk->size = 0; }

private:
    std::shared_ptr<PatternDisk> m_disk;
};

} // namespace

ByteStore::FileFactory patternFiles(const std::shared_ptr<PatternDisk> &disk)
{
    return [disk]() -> std::unique_ptr<SpillFile> { return std::make_unique<PatternFile>(disk); };
}

QByteArray pattern(qint64 from, qsizetype n)
{
    QByteArray out(n, Qt::Uninitialized);
    for (qsizetype i = 0; i < n; ++i)
        out[i] = char(((from + i) * 131) ^ ((from + i) >> 11));
    return out;
}

QString openFileIn(const QString &dir)
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFileInfo(fds.filePath(fd)).symLinkTarget();
        if (target.startsWith(dir + QLatin1Char('/')))
            return fds.filePath(fd);
    }
    return {};
}
