// The machine's side of PortOs: each call is the system call it names.

#include "CustomSpeed.h"
#include "PortOs.h"

#include <QString>
#include <QSysInfo>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace corvanel {

SysStatus SysStatus::of(qint64 result, const char *what)
{
    // A failure that left no errno still fails.
    return result < 0 ? failed(errno != 0 ? errno : EIO, what) : done(result);
}

std::string SysStatus::message() const
{
    if (ok())
        return {};
    return m_what + ": " + std::strerror(m_error);
}

PortOs::~PortOs() = default;

namespace {

class SystemPortOs final : public PortOs
{
public:
    SysStatus openDevice(const QByteArray &path) override
    {
        return SysStatus::of(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC), "open");
    }
    SysStatus close(int fd) override { return SysStatus::of(::close(fd), "close"); }
    SysStatus read(int fd, char *buffer, qint64 size) override
    {
        return SysStatus::of(::read(fd, buffer, size_t(size)), "read");
    }
    SysStatus write(int fd, const char *data, qint64 size) override
    {
        return SysStatus::of(::write(fd, data, size_t(size)), "write");
    }
    SysStatus hungUp(int fd) override
    {
        pollfd p {fd, POLLIN | POLLOUT, 0};
        if (::poll(&p, 1, 0) < 0)
            return SysStatus::failed(errno, "poll");
        return SysStatus::done((p.revents & (POLLHUP | POLLERR | POLLNVAL)) ? 1 : 0);
    }
    SysStatus getAttributes(int fd, termios *attributes) override
    {
        return SysStatus::of(::tcgetattr(fd, attributes), "tcgetattr");
    }
    SysStatus setAttributes(int fd, const termios &attributes) override
    {
        return SysStatus::of(::tcsetattr(fd, TCSANOW, &attributes), "tcsetattr");
    }
    SysStatus setSpeed(int fd, qint32 baudRate) override
    {
        termios t {};
        if (::tcgetattr(fd, &t) != 0)
            return SysStatus::failed(errno, "tcgetattr");
        // The C library knows the standard rates by their numbers.
        if (::cfsetspeed(&t, static_cast<speed_t>(baudRate)) == 0)
            return SysStatus::of(::tcsetattr(fd, TCSANOW, &t), "tcsetattr (speed)");
        return SysStatus::of(setCustomSpeed(fd, baudRate), "TCSETS2 (speed)");
    }
    SysStatus discardOutput(int fd) override { return SysStatus::of(::tcflush(fd, TCOFLUSH), "tcflush"); }
    SysStatus claimExclusive(int fd) override { return SysStatus::of(::ioctl(fd, TIOCEXCL), "TIOCEXCL"); }
    SysStatus releaseExclusive(int fd) override { return SysStatus::of(::ioctl(fd, TIOCNXCL), "TIOCNXCL"); }
    SysStatus claimFlock(int fd) override { return SysStatus::of(::flock(fd, LOCK_EX | LOCK_NB), "flock"); }
    SysStatus modemLines(int fd) override
    {
        int bits = 0;
        if (::ioctl(fd, TIOCMGET, &bits) != 0)
            return SysStatus::failed(errno, "TIOCMGET");
        return SysStatus::done(bits);
    }
    SysStatus setModemLines(int fd, int bits, bool raise) override
    {
        return SysStatus::of(::ioctl(fd, raise ? TIOCMBIS : TIOCMBIC, &bits), raise ? "TIOCMBIS" : "TIOCMBIC");
    }
    SysStatus waitLines(int fd, int mask) override
    {
        return SysStatus::of(::ioctl(fd, TIOCMIWAIT, mask), "TIOCMIWAIT");
    }
    SysStatus canonicalPath(const QByteArray &path, QByteArray *resolved) override;
    SysStatus linkStatus(const QByteArray &path, struct stat *status) override
    {
        return SysStatus::of(::lstat(path.constData(), status), "lstat");
    }
    SysStatus fileStatus(const QByteArray &path, struct stat *status) override
    {
        return SysStatus::of(::stat(path.constData(), status), "stat");
    }
    SysStatus accessible(const QByteArray &path, int mode) override
    {
        return SysStatus::of(::access(path.constData(), mode), "access");
    }
    SysStatus readLockFile(const QByteArray &path, QByteArray *content, struct stat *status) override;
    SysStatus writeNewFile(QByteArray *pattern, const QByteArray &content) override;
    SysStatus link(const QByteArray &from, const QByteArray &to) override
    {
        return SysStatus::of(::link(from.constData(), to.constData()), "link");
    }
    SysStatus unlink(const QByteArray &path) override { return SysStatus::of(::unlink(path.constData()), "unlink"); }
    SysStatus processExists(qint64 pid) override
    {
        // EPERM: it exists but belongs to someone else.
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)
            return SysStatus::done(1);
        return errno == ESRCH ? SysStatus::done(0) : SysStatus::failed(errno, "kill");
    }
    qint64 processId() override { return ::getpid(); }
    MachineIds machineIds() override
    {
        return {QSysInfo::machineHostName().toUtf8(), QSysInfo::machineUniqueId(), QSysInfo::bootUniqueId()};
    }
};

SysStatus SystemPortOs::canonicalPath(const QByteArray &path, QByteArray *resolved)
{
    char *real = ::realpath(path.constData(), nullptr);
    if (real == nullptr)
        return SysStatus::failed(errno, "realpath");
    *resolved = QByteArray(real);
    ::free(real);
    return SysStatus::done();
}

SysStatus SystemPortOs::readLockFile(const QByteArray &path, QByteArray *content, struct stat *status)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return SysStatus::failed(errno, "open (lock file)");
    SysStatus result = SysStatus::done(0);
    if (::fstat(fd, status) != 0) {
        result = SysStatus::failed(errno, "fstat (lock file)");
    } else if (S_ISREG(status->st_mode)) {
        char buf[4096];
        ssize_t n = -1;
        while ((n = ::read(fd, buf, sizeof buf)) < 0 && errno == EINTR) {}
        result = n < 0 ? SysStatus::failed(errno, "read (lock file)") : SysStatus::done(1);
        if (n > 0)
            *content = QByteArray(buf, qsizetype(n));
    }
    // Read-only: nothing can be lost at close.
    ::close(fd);
    return result;
}

SysStatus SystemPortOs::writeNewFile(QByteArray *pattern, const QByteArray &content)
{
    const int fd = ::mkostemp(pattern->data(), O_CLOEXEC);
    if (fd < 0)
        return SysStatus::failed(errno, "mkostemp");
    SysStatus result = SysStatus::done();
    if (::fchmod(fd, 0644) != 0)
        result = SysStatus::failed(errno, "fchmod");
    else if (const ssize_t n = ::write(fd, content.constData(), size_t(content.size())); n != content.size())
        result = SysStatus::failed(n < 0 ? errno : ENOSPC, "write (lock file)"); // short: the disk is full
    if (::close(fd) != 0 && result.ok())
        result = SysStatus::failed(errno, "close (lock file)");
    if (!result.ok())
        ::unlink(pattern->constData()); // tidying up after a failure already reported
    return result;
}

} // namespace

PortOs &systemPortOs()
{
    static SystemPortOs os;
    return os;
}

} // namespace corvanel
