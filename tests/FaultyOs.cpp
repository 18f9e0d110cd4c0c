#include "FaultyOs.h"

namespace corvanel {

void FaultyOs::fail(Call call, int error, int times)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_error[call] = error;
    m_times[call] = times;
}

int FaultyOs::uses(Call call) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_uses[call];
}

bool FaultyOs::failing(Call call, SysStatus *status)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    ++m_uses[call];
    if (m_times[call] == 0)
        return false;
    if (m_times[call] > 0)
        --m_times[call];
    *status = SysStatus::failed(m_error[call], "injected");
    return true;
}

SysStatus FaultyOs::openDevice(const QByteArray &path)
{
    SysStatus s = SysStatus::done();
    return failing(Open, &s) ? s : m_real.openDevice(path);
}

SysStatus FaultyOs::close(int fd)
{
    SysStatus s = SysStatus::done();
    // The descriptor goes all the same, as Linux does.
    const SysStatus real = m_real.close(fd);
    return failing(Close, &s) ? s : real;
}

SysStatus FaultyOs::read(int fd, char *buffer, qint64 size)
{
    SysStatus s = SysStatus::done();
    return failing(Read, &s) ? s : m_real.read(fd, buffer, size);
}

SysStatus FaultyOs::write(int fd, const char *data, qint64 size)
{
    SysStatus s = SysStatus::done();
    return failing(Write, &s) ? s : m_real.write(fd, data, size);
}

SysStatus FaultyOs::hungUp(int fd)
{
    return gone ? SysStatus::done(1) : m_real.hungUp(fd);
}

SysStatus FaultyOs::discardOutput(int fd)
{
    SysStatus s = SysStatus::done();
    return failing(DiscardOutput, &s) ? s : m_real.discardOutput(fd);
}

SysStatus FaultyOs::modemLines(int fd)
{
    SysStatus s = SysStatus::done();
    if (failing(ModemLines, &s))
        return s;
    return modemLinesHook ? modemLinesHook(fd) : m_real.modemLines(fd);
}

SysStatus FaultyOs::waitLines(int fd, int mask)
{
    SysStatus s = SysStatus::done();
    if (failing(WaitLines, &s))
        return s;
    return waitLinesHook ? waitLinesHook(fd, mask) : m_real.waitLines(fd, mask);
}

SysStatus FaultyOs::canonicalPath(const QByteArray &path, QByteArray *resolved)
{
    SysStatus s = SysStatus::done();
    return failing(CanonicalPath, &s) ? s : m_real.canonicalPath(path, resolved);
}

SysStatus FaultyOs::writeNewFile(QByteArray *pattern, const QByteArray &content)
{
    SysStatus s = SysStatus::done();
    return failing(WriteNewFile, &s) ? s : m_real.writeNewFile(pattern, content);
}

} // namespace corvanel
