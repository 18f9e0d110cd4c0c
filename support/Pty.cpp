#include "Pty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

Pty::Pty()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    termios tio {};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    // The test keeps no slave open of its own: only the program does.
    ::close(m_slave);
    m_slave = -1;
}

Pty::~Pty()
{
    hangUp();
}

void Pty::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (errno == EAGAIN || errno == EINTR) {
            pumpEvents(1);
        } else {
            return;
        }
    }
}

QByteArray Pty::read(qsizetype n, int timeoutMs)
{
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (out.size() < n && t.elapsed() < timeoutMs && m_master >= 0) {
        QCoreApplication::processEvents();
        pollfd p {m_master, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && (p.revents & POLLIN)) {
            char buf[65536];
            const ssize_t got = ::read(m_master, buf, sizeof buf);
            if (got > 0)
                out.append(buf, got);
        }
    }
    return out;
}

QByteArray Pty::drain(int timeoutMs)
{
    return read(std::numeric_limits<qsizetype>::max(), timeoutMs);
}

void Pty::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QString scratchLockDirectory()
{
    static QTemporaryDir dir;
    return dir.path();
}

void pumpEvents(int ms)
{
    QElapsedTimer t;
    t.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    } while (t.elapsed() < ms);
}
