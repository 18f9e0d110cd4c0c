#pragma once

#include "PortOs.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <thread>

namespace corvanel {

// Watches the CD, CTS and DSR lines of an open port and reports changes on
// the thread that owns it. Where the driver can wait for a change, a thread
// of the watcher's own waits and nothing runs otherwise; where it cannot
// wait, the lines are polled every 25 ms; where it has no modem lines at all
// (a pseudo-terminal), nothing runs and the lines read as off.
class LineWatcher : public QObject
{
    Q_OBJECT
public:
    // The TIOCM bits watched: CD, CTS and DSR.
    static const int Watched;

    explicit LineWatcher(PortOs &os = systemPortOs(), QObject *parent = nullptr);
    ~LineWatcher() override;

    // Reads the lines and starts watching fd, which must stay open until stop().
    void start(int fd);
    // Ends the watch. A waiting thread is woken and has ended when this returns.
    void stop();

    // The watched bits as last read; 0 when the driver has no lines.
    int lines() const { return m_lines; }

Q_SIGNALS:
    // The watched bits that changed. A reading that fails changes nothing.
    void changed(int bits);

private:
    void readNow();
    void waitLoop(int fd, quint64 generation);
    void woken(quint64 generation);
    void waitRefused(quint64 generation);

    PortOs &m_os;
    int m_fd = -1;
    int m_lines = 0;
    quint64 m_generation = 0;
    QTimer m_poll;
    // Reads once more shortly after a wake-up: a change that came while the
    // thread was between two waits is seen all the same.
    QTimer m_settle;
    std::thread m_thread;
    std::atomic<bool> m_stopping {false};
    std::atomic<bool> m_threadDone {true};
};

} // namespace corvanel
