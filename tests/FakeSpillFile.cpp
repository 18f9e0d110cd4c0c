#include "FakeSpillFile.h"

#include <cstring>

using namespace corvanel;

namespace {

class FakeFile : public SpillFile
{
public:
    explicit FakeFile(std::shared_ptr<FakeDisk> disk) : m_disk(std::move(disk)) { }
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
        if (m_disk->failReads || offset + n > m_disk->bytes.size())
            return false;
        std::memcpy(data, m_disk->bytes.constData() + offset, size_t(n));
        return true;
    }
    void truncate() override { m_disk->bytes.clear(); }
    QString errorString() const override { return QStringLiteral("No space left on device"); }

private:
    std::shared_ptr<FakeDisk> m_disk;
};

} // namespace

ByteStore::FileFactory fakeFiles(const std::shared_ptr<FakeDisk> &disk)
{
    return [disk]() -> std::unique_ptr<SpillFile> {
        ++disk->opens;
        return std::make_unique<FakeFile>(disk);
    };
}

