#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace corvanel {

// Asks the kernel, from a thread of its own, to bring ranges of a file into
// the page cache (POSIX_FADV_WILLNEED: exactly those ranges, without waiting
// for them), so that reading them later does not wait for the disk; the
// asking itself can wait for the disk's queue, hence the thread. Nothing
// comes back from it: every read of the file returns what it would have
// without it, only sooner. The thread starts with the first request and
// takes the newest request first; the oldest is dropped when too many wait.
//
// The descriptor must stay open, and mean the same file, for as long as this
// object lives: the destructor ends the thread, after the request in hand.
class ReadAhead
{
public:
    static constexpr int MaxPending = 8;

    explicit ReadAhead(int fd) : m_fd(fd) {}
    ~ReadAhead();
    ReadAhead(const ReadAhead &) = delete;
    ReadAhead &operator=(const ReadAhead &) = delete;

    // Asks for [offset, offset + n) to be read ahead; returns at once.
    void request(qint64 offset, qint64 n);
    // Drops the requests not yet read (the file was emptied).
    void cancel();
    // Bytes asked of the kernel so far, and whether a request waits or is in hand.
    qint64 bytesAsked() const;
    bool busy() const;

private:
    struct Range
    {
        qint64 offset;
        qint64 length;
    };
    void work();

    const int m_fd;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Range> m_pending;
    bool m_reading = false;
    bool m_stop = false;
    bool m_failed = false; // no thread could be started: requests are ignored
    qint64 m_bytesAsked = 0;
    std::thread m_thread;
};

} // namespace corvanel
