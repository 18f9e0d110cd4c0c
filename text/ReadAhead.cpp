#include "ReadAhead.h"

#include <csignal>
#include <system_error>

#include <pthread.h>
#include <fcntl.h>

namespace corvanel {

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_pending.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void ReadAhead::request(qint64 offset, qint64 n)
{
    if (offset < 0 || n <= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (m_failed || m_stop)
            return;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread(&ReadAhead::work, this);
            } catch (const std::system_error &) {
                m_failed = true; // reads still work, from the disk
                return;
            }
        }
        if (m_pending.size() >= size_t(MaxPending))
            m_pending.pop_front();
        m_pending.push_back({offset, n});
    }
    m_wake.notify_one();
}

void ReadAhead::cancel()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.clear();
}

qint64 ReadAhead::bytesAsked() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytesAsked;
}

bool ReadAhead::busy() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_reading || !m_pending.empty();
}

void ReadAhead::work()
{
    // Signals are for the program's own thread.
    sigset_t all;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_reading = false;
        m_wake.wait(lock, [this] { return m_stop || !m_pending.empty(); });
        if (m_stop)
            return;
        const Range range = m_pending.back();
        m_pending.pop_back();
        m_reading = true;
        lock.unlock();
        // A failure only means the later read waits for the disk after all.
        ::posix_fadvise(m_fd, off_t(range.offset), off_t(range.length), POSIX_FADV_WILLNEED);
        lock.lock();
        m_bytesAsked += range.length;
    }
}

} // namespace corvanel
