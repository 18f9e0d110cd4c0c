#include "LineWatcher.h"

#include <cerrno>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>

namespace corvanel {
namespace {

constexpr int PollMs = 25; // line changes reach the lamps within 50 ms
constexpr int SettleMs = 40;

extern "C" void wakeHandler(int) {}

// The signal that breaks a waiting thread out of its ioctl. Installed once,
// without SA_RESTART, so that the ioctl returns EINTR instead of resuming.
int wakeSignal()
{
    static const int sig = SIGRTMIN + 3;
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction sa
        {};
        sa.sa_handler = wakeHandler;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        // Without it a stop would never wake the thread: fail loudly at once.
        if (::sigaction(sig, &sa, nullptr) != 0)
            qFatal("cannot install the line watcher's wake-up signal");
    });
    return sig;
}

} // namespace

const int LineWatcher::Watched = TIOCM_CAR | TIOCM_CTS | TIOCM_DSR;

LineWatcher::LineWatcher(PortOs &os, QObject *parent) : QObject(parent), m_os(os)
{
    m_poll.setInterval(PollMs);
    m_settle.setSingleShot(true);
    m_settle.setInterval(SettleMs);
    connect(&m_poll, &QTimer::timeout, this, &LineWatcher::readNow);
    connect(&m_settle, &QTimer::timeout, this, &LineWatcher::readNow);
}

LineWatcher::~LineWatcher()
{
    stop();
}

void LineWatcher::start(int fd)
{
    stop();
    m_fd = fd;
    const SysStatus lines = m_os.modemLines(fd);
    if (!lines.ok()) {
        // No modem lines (ENOTTY on a pseudo-terminal): nothing to ask again.
        return;
    }
    m_lines = int(lines.value()) & Watched;
    m_stopping = false;
    m_threadDone = false;
    wakeSignal(); // the handler is in place before anyone can send the signal
    m_thread = std::thread(&LineWatcher::waitLoop, this, fd, m_generation);
    m_settle.start();
}

void LineWatcher::stop()
{
    m_poll.stop();
    m_settle.stop();
    if (m_thread.joinable()) {
        m_stopping = true;
        // A signal that lands just before the thread enters its wait is
        // lost: send again until the thread has seen the stop.
        while (!m_threadDone) {
            ::pthread_kill(m_thread.native_handle(), wakeSignal());
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        m_thread.join();
    }
    // Wake-ups already posted by the old thread are ignored from now on.
    ++m_generation;
    m_lines = 0;
    m_fd = -1;
}

void LineWatcher::waitLoop(int fd, quint64 generation)
{
    sigset_t wake;
    sigemptyset(&wake);
    sigaddset(&wake, wakeSignal());
    // Cannot fail with a valid set and SIG_UNBLOCK.
    ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
    while (!m_stopping) {
        const SysStatus waited = m_os.waitLines(fd, Watched);
        if (m_stopping)
            break;
        if (waited.ok()) {
            QMetaObject::invokeMethod(
                this, [this, generation] { woken(generation); }, Qt::QueuedConnection);
        } else if (waited.error() != EINTR) {
            // The driver cannot wait (ENOTTY, EINVAL) or the device failed.
            QMetaObject::invokeMethod(
                this, [this, generation] { waitRefused(generation); }, Qt::QueuedConnection);
            break;
        }
    }
    m_threadDone = true;
}

void LineWatcher::woken(quint64 generation)
{
    if (generation != m_generation)
        return;
    readNow();
    // The handlers of the change may have stopped the watch.
    if (generation == m_generation && !m_settle.isActive())
        m_settle.start();
}

void LineWatcher::waitRefused(quint64 generation)
{
    if (generation != m_generation)
        return;
    if (m_thread.joinable())
        m_thread.join(); // it has ended: it posted this as its last act
    readNow();
    if (generation == m_generation)
        m_poll.start();
}

void LineWatcher::readNow()
{
    if (m_fd < 0)
        return;
    const SysStatus lines = m_os.modemLines(m_fd);
    if (!lines.ok())
        return; // a failed reading is no change
    const int bits = int(lines.value()) & Watched;
    const int diff = bits ^ m_lines;
    m_lines = bits;
    if (diff != 0)
        Q_EMIT changed(diff);
}

} // namespace corvanel
