#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <memory>
#include <functional>
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
// It also fetches ranges that are wanted now (the rows on screen): those it
// reads itself, into a buffer of its own, before any hint, so that they are
// in the page cache, and then calls the request's `arrived`, on its thread.
// Fetches too are taken newest first; the oldest is dropped when too many
// wait, without its call (a newer one's call stands for it).
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
    // Reads [offset, offset + n) into the page cache, then calls arrived()
    // from the thread; returns at once. One already waiting or in hand for
    // the same range is not asked again. False when there is no thread to
    // read it (the caller reads for itself).
    bool fetch(qint64 offset, qint64 n, std::function<void()> arrived);
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
        std::function<void()> arrived; // a fetch's; empty for a hint
    };
    bool startLocked();
    void work();
    void read(const Range &range);

    const int m_fd;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Range> m_pending;
    std::deque<Range> m_fetches;
    qint64 m_fetchOffset = -1, m_fetchLength = 0; // the fetch in hand
    std::unique_ptr<char[]> m_buffer; // the thread's, for fetches
    bool m_reading = false;
    bool m_stop = false;
    bool m_failed = false; // no thread could be started: requests are ignored
    qint64 m_bytesAsked = 0;
    std::thread m_thread;
};

} // namespace corvanel
