#include "PortLock.h"

#include "MSComm.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvanel {
namespace {

// A lock file without a process number is taken for one being written for
// this long; Qt's lock files count as stale after the same time.
constexpr qint64 WritingGraceMs = 30000;

QString nameUnderDev(const QString &path)
{
    static const QString dev = QStringLiteral("/dev/");
    QString name = path.startsWith(dev) ? path.mid(dev.size()) : QFileInfo(path).fileName();
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

bool processAlive(qint64 pid)
{
    // EPERM: it exists but belongs to someone else.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QByteArray ownLockContent()
{
    return QByteArray::number(qint64(::getpid())).rightJustified(10, ' ') + '\n';
}

} // namespace

QString systemLockDirectory()
{
    return QFileInfo(QStringLiteral("/run/lock")).isDir() ? QStringLiteral("/run/lock") : QStringLiteral("/var/lock");
}

QStringList lockNames(const QString &devicePath)
{
    const QString resolved = QFileInfo(devicePath).canonicalFilePath();
    QStringList names;
    if (!resolved.isEmpty())
        names << nameUnderDev(resolved);
    const QString given = nameUnderDev(devicePath);
    if (!names.contains(given))
        names << given;
    return names;
}

std::optional<qint64> lockPid(const QByteArray &content)
{
    const qsizetype end = content.indexOf('\n');
    const QByteArray first = content.left(end < 0 ? content.size() : end).trimmed();
    if (first.isEmpty() || first.size() > 10)
        return std::nullopt;
    for (char c : first) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    const qint64 pid = first.toLongLong();
    if (pid <= 0 || pid > 0x7fffffff)
        return std::nullopt;
    return pid;
}

LockHolder lockHolder(const QString &lockFile)
{
    // The lock directory is writable by every user: whatever stands there is
    // looked at without following a link and without waiting. Only a regular
    // file can be a lock; anything else (a FIFO, whose open would wait for a
    // writer, a socket, a device, a link) means the port is held.
    const QByteArray path = QFile::encodeName(lockFile);
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0)
        return LockHolder::Nobody;
    if (!S_ISREG(st.st_mode))
        return LockHolder::Another;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return LockHolder::Nobody; // gone meanwhile
        if (errno == ELOOP)
            return LockHolder::Another; // replaced by a link meanwhile
    } else {
        const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        char buf[4096];
        ssize_t n = -1;
        while (regular && (n = ::read(fd, buf, sizeof buf)) < 0 && errno == EINTR) {
        }
        ::close(fd);
        if (!regular)
            return LockHolder::Another;
        if (const std::optional<qint64> pid = lockPid(QByteArray(buf, n > 0 ? qsizetype(n) : 0))) {
            if (*pid == ::getpid())
                return LockHolder::Us;
            return processAlive(*pid) ? LockHolder::Another : LockHolder::Nobody;
        }
    }
    // Unreadable, empty or garbled: honoured while it may still be being written.
    const qint64 modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return std::abs(QDateTime::currentMSecsSinceEpoch() - modifiedMs) > WritingGraceMs ? LockHolder::Nobody
                                                                                      : LockHolder::Another;
}

QString serialPortLockFile(const QString &devicePath)
{
    // QSerialPort's choice: the first of these directories that can be read
    // and either holds the file already or can be written.
    static const char *const directories[] = {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp",
                                              "/tmp", "/var/tmp", "/var/lock/lockdev", "/run/lock"};
    static const QString dev = QStringLiteral("/dev/");
    QString name = devicePath.startsWith(dev) ? devicePath.mid(dev.size()) : devicePath;
    name.replace(u'/', u'_');
    for (const char *directory : directories) {
        const QString dir = QString::fromLatin1(directory);
        const QString file = dir + QStringLiteral("/LCK..") + name;
        const QFileInfo info(dir);
        if (info.isReadable() && (QFile::exists(file) || info.isWritable()))
            return file;
    }
    return {};
}

void PortLock::check(const QString &devicePath) const
{
    const QDir dir(m_directory);
    QStringList files;
    for (const QString &name : lockNames(devicePath))
        files << dir.filePath(name);
    // QSerialPort reads its own lock file with a plain open before it opens
    // the device: a FIFO there would hold the program for good.
    const QString qtLock = serialPortLockFile(devicePath);
    if (!qtLock.isEmpty() && !files.contains(qtLock))
        files << qtLock;
    for (const QString &file : files) {
        if (lockHolder(file) == LockHolder::Another)
            throw CommError(("the port is locked by another program: " + file).toStdString());
    }
}

void PortLock::acquire(const QString &devicePath)
{
    release();
    const QString path = QDir(m_directory).filePath(lockNames(devicePath).constFirst());
    const QByteArray target = QFile::encodeName(path);
    // Written whole under a name of our own, then linked into place: nobody
    // ever reads a half-written lock of ours, and of two programs only one
    // can link.
    const QByteArray tempPattern = QFile::encodeName(QDir(m_directory).filePath(QStringLiteral("LTMP.XXXXXX")));
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (lockHolder(path)) {
        case LockHolder::Us:
            return; // QSerialPort's own lock of this port
        case LockHolder::Another:
            throw CommError(("the port is locked by another program: " + path).toStdString());
        case LockHolder::Nobody:
            ::unlink(target.constData()); // stale, if there at all
            break;
        }
        // A new file of a name nobody had (O_CREAT | O_EXCL): never one that
        // another user planted in the shared directory, nor a link of theirs.
        QByteArray temp = tempPattern;
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            return; // a directory we may not write: the port stays usable, unlocked
        const QByteArray content = ownLockContent();
        // Readable by everyone, as lock files are: other programs read the owner.
        const bool written = ::fchmod(fd, 0644) == 0
            && ::write(fd, content.constData(), size_t(content.size())) == content.size();
        ::close(fd);
        const int linked = written ? ::link(temp.constData(), target.constData()) : -1;
        const int linkError = errno;
        ::unlink(temp.constData());
        if (linked == 0) {
            m_held = path;
            return;
        }
        if (!written || linkError != EEXIST)
            return;
        // Someone linked first: look at who it was.
    }
    throw CommError(("cannot take the lock " + path).toStdString());
}

void PortLock::release()
{
    if (m_held.isEmpty())
        return;
    if (lockHolder(m_held) == LockHolder::Us)
        QFile::remove(m_held);
    m_held.clear();
}

} // namespace corvanel
