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
    QFile file(lockFile);
    if (!file.exists())
        return LockHolder::Nobody;
    if (file.open(QIODevice::ReadOnly)) {
        if (const std::optional<qint64> pid = lockPid(file.read(4096))) {
            if (*pid == ::getpid())
                return LockHolder::Us;
            return processAlive(*pid) ? LockHolder::Another : LockHolder::Nobody;
        }
    }
    // Unreadable, empty or garbled: honoured while it may still be being written.
    const QDateTime modified = QFileInfo(lockFile).lastModified();
    if (!modified.isValid())
        return LockHolder::Nobody; // gone meanwhile
    return std::abs(modified.msecsTo(QDateTime::currentDateTime())) > WritingGraceMs ? LockHolder::Nobody
                                                                                       : LockHolder::Another;
}

void PortLock::check(const QString &devicePath) const
{
    const QDir dir(m_directory);
    for (const QString &name : lockNames(devicePath)) {
        if (lockHolder(dir.filePath(name)) == LockHolder::Another)
            throw CommError(("the port is locked by another program: " + dir.filePath(name)).toStdString());
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
    const QByteArray temp = QFile::encodeName(QDir(m_directory).filePath(QStringLiteral("LTMP.%1").arg(::getpid())));
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
        const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return; // a directory we may not write: the port stays usable, unlocked
        const QByteArray content = ownLockContent();
        const bool written = ::write(fd, content.constData(), size_t(content.size())) == content.size();
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
