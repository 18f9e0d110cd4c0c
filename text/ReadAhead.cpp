#include "ReadAhead.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <system_error>

#include <pthread.h>
#include <fcntl.h>
#include <unistd.h>

namespace corvanel {
namespace {

constexpr qint64 FetchBuffer = qint64(256) * 1024;

} // namespace

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_pending.clear();
        m_fetches.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool ReadAhead::startLocked()
{
    if (m_failed || m_stop)
        return false;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(&ReadAhead::work, this);
        } catch (const std::system_error &) {
            m_failed = true; // reads still work, from the disk
            return false;
        }
    }
    return true;
}

void ReadAhead::request(qint64 offset, qint64 n)
{
    if (offset < 0 || n <= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (!startLocked())
            return;
        if (m_pending.size() >= size_t(MaxPending))
            m_pending.pop_front();
        m_pending.push_back({offset, n, {}});
    }
    m_wake.notify_one();
}

bool ReadAhead::fetch(qint64 offset, qint64 n, std::function<void()> arrived)
{
    if (offset < 0 || n <= 0 || !arrived)
        return false;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        const auto same = [&](const Range &r) { return r.offset == offset && r.length == n; };
        if ((m_fetchOffset == offset && m_fetchLength == n) || std::any_of(m_fetches.begin(), m_fetches.end(), same))
            return true;
        if (!startLocked())
            return false;
        if (m_fetches.size() >= size_t(MaxPending))
            m_fetches.pop_front();
        m_fetches.push_back({offset, n, std::move(arrived)});
    }
    m_wake.notify_one();
    return true;
}

void ReadAhead::cancel()
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.clear();
    m_fetches.clear();
}

qint64 ReadAhead::bytesAsked() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_bytesAsked;
}

bool ReadAhead::busy() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_reading || !m_pending.empty() || !m_fetches.empty();
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
        m_fetchOffset = -1;
        m_wake.wait(lock, [this] { return m_stop || !m_pending.empty() || !m_fetches.empty(); });
        if (m_stop)
            return;
        std::deque<Range> &queue = m_fetches.empty() ? m_pending : m_fetches; // what is on screen first
        const Range range = std::move(queue.back());
        queue.pop_back();
        m_reading = true;
        if (range.arrived) {
            m_fetchOffset = range.offset;
            m_fetchLength = range.length;
        }
        lock.unlock();
        read(range);
        lock.lock();
        m_bytesAsked += range.length;
    }
}

void ReadAhead::read(const Range &range)
{
    if (!range.arrived) {
        // A failure only means the later read waits for the disk after all.
        ::posix_fadvise(m_fd, off_t(range.offset), off_t(range.length), POSIX_FADV_WILLNEED);
        return;
    }
    if (!m_buffer)
        m_buffer.reset(new char[size_t(FetchBuffer)]);
    // Read for real, so that the pages are there when arrived() is heard. A
    // failure is left to the caller's own read, which reports it.
    for (qint64 at = range.offset, end = range.offset + range.length; at < end;) {
        const ssize_t done = ::pread(m_fd, m_buffer.get(), size_t(std::min(FetchBuffer, end - at)), off_t(at));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            break;
        at += done;
    }
    range.arrived();
}

} // namespace corvanel
