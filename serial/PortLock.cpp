#include "PortLock.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdlib>
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
    QString name = path.startsWith(dev) ? path.mid(dev.size()) : path.mid(path.lastIndexOf(u'/') + 1);
    name.replace(u'/', u'_');
    return QStringLiteral("LCK..") + name;
}

QByteArray ownLockContent(PortOs &os)
{
    return QByteArray::number(os.processId()).rightJustified(10, ' ') + '\n';
}

// What QLockFile writes: process, program, host, machine and boot.
QByteArray qtLockContent(PortOs &os)
{
    const PortOs::MachineIds ids = os.machineIds();
    return QByteArray::number(os.processId()) + '\n' + QCoreApplication::applicationName().toUtf8() + '\n' + ids.host
           + '\n' + ids.machine + '\n' + ids.boot + '\n';
}

SysStatus heldBy(const QString &file)
{
    return SysStatus::failed(EBUSY, "the port is locked by another program: " + file.toStdString());
}

} // namespace

QString systemLockDirectory(PortOs &os)
{
    struct stat st
    {};
    const bool run = os.fileStatus(QByteArrayLiteral("/run/lock"), &st).ok() && S_ISDIR(st.st_mode);
    return run ? QStringLiteral("/run/lock") : QStringLiteral("/var/lock");
}

QStringList lockNames(const QString &devicePath, PortOs &os)
{
    // A path that cannot be resolved (gone, or a dangling link) has only its
    // own name; opening it fails in any case.
    QByteArray resolved;
    QStringList names;
    if (os.canonicalPath(QFile::encodeName(devicePath), &resolved).ok())
        names << nameUnderDev(QFile::decodeName(resolved));
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

LockHolder lockHolder(const QString &lockFile, PortOs &os)
{
    // The lock directory is writable by every user: whatever stands there is
    // looked at without following a link and without waiting. Only a regular
    // file can be a lock; anything else (a FIFO, whose open would wait for a
    // writer, a socket, a device, a link) means the port is held.
    const QByteArray path = QFile::encodeName(lockFile);
    struct stat st
    {};
    const SysStatus there = os.linkStatus(path, &st);
    if (!there.ok())
        return LockHolder::Nobody; // nothing there, or nothing we may look at

    if (!S_ISREG(st.st_mode))
        return LockHolder::Another;
    QByteArray content;
    const SysStatus read = os.readLockFile(path, &content, &st);
    if (!read.ok() && read.error() == ENOENT)
        return LockHolder::Nobody; // gone meanwhile
    if (!read.ok() && read.error() == ELOOP)
        return LockHolder::Another; // replaced by a link meanwhile
    if (read.ok() && read.value() == 0)
        return LockHolder::Another; // replaced by something else meanwhile
    if (read.ok()) {
        if (const std::optional<qint64> pid = lockPid(content)) {
            if (*pid == os.processId())
                return LockHolder::Us;
            const SysStatus alive = os.processExists(*pid);
            // A process we cannot ask about is taken for alive.
            return alive.ok() && alive.value() == 0 ? LockHolder::Nobody : LockHolder::Another;
        }
    }
    // Unreadable, empty or garbled: honoured while it may still be being written.
    const qint64 modifiedMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return std::abs(QDateTime::currentMSecsSinceEpoch() - modifiedMs) > WritingGraceMs ? LockHolder::Nobody
                                                                                       : LockHolder::Another;
}

QString serialPortLockFile(const QString &devicePath, PortOs &os)
{
    // QSerialPort's choice: the first of these directories that can be read
    // and either holds the file already or can be written.
    static const char *const directories[] = {"/var/lock", "/etc/locks", "/var/spool/locks",  "/var/spool/uucp",
                                              "/tmp",      "/var/tmp",   "/var/lock/lockdev", "/run/lock"};
    static const QString dev = QStringLiteral("/dev/");
    QString name = devicePath.startsWith(dev) ? devicePath.mid(dev.size()) : devicePath;
    name.replace(u'/', u'_');
    for (const char *directory : directories) {
        const QString dir = QString::fromLatin1(directory);
        QString file = dir + QStringLiteral("/LCK..") + name; // not const: returned by move
        const QByteArray dirName = QFile::encodeName(dir);
        struct stat st
        {};
        if (os.accessible(dirName, R_OK).ok()
            && (os.linkStatus(QFile::encodeName(file), &st).ok() || os.accessible(dirName, W_OK).ok()))
            return file;
    }
    return {};
}

SysStatus PortLock::check(const QString &devicePath) const
{
    const QDir dir(m_directory);
    QStringList files;
    for (const QString &name : lockNames(devicePath, m_os))
        files << dir.filePath(name);
    // QSerialPort-based programs read their lock file (QLockFile) with a
    // plain open before they open the device: a FIFO there holds them for
    // good, and a live lock there is theirs.
    const QString qtLock = serialPortLockFile(devicePath, m_os);
    if (!qtLock.isEmpty() && !files.contains(qtLock))
        files << qtLock;
    for (const QString &file : files) {
        if (lockHolder(file, m_os) == LockHolder::Another)
            return heldBy(file);
    }
    return SysStatus::done();
}

SysStatus PortLock::acquire(const QString &devicePath)
{
    release();
    const QString ours = QDir(m_directory).filePath(lockNames(devicePath, m_os).constFirst());
    SysStatus taken = take(ours, ownLockContent(m_os));
    // Where QSerialPort-based programs look, in the form QLockFile writes
    // (on Debian the same file: /var/lock is /run/lock).
    const QString qts = serialPortLockFile(devicePath, m_os);
    if (taken.ok() && !qts.isEmpty() && qts != ours)
        taken = take(qts, qtLockContent(m_os));
    if (!taken.ok())
        release();
    return taken;
}

SysStatus PortLock::take(const QString &path, const QByteArray &content)
{
    const QByteArray target = QFile::encodeName(path);
    // Written whole under a name of our own, then linked into place: nobody
    // ever reads a half-written lock of ours, and of two programs only one
    // can link.
    const QByteArray tempPattern
        = QFile::encodeName(path.left(path.lastIndexOf(u'/') + 1) + QStringLiteral("LTMP.XXXXXX"));
    for (int attempt = 0; attempt < 2; ++attempt) {
        switch (lockHolder(path, m_os)) {
        case LockHolder::Us:
            return SysStatus::done(); // ours already, under another of its names
        case LockHolder::Another:
            return heldBy(path);
        case LockHolder::Nobody:
            // Stale, if there at all; if it cannot go, the link below fails.
            static_cast<void>(m_os.unlink(target));
            break;
        }
        // A new file of a name nobody had (O_CREAT | O_EXCL): never one that
        // another user planted in the shared directory, nor a link of theirs.
        QByteArray temp = tempPattern;
        if (!m_os.writeNewFile(&temp, content).ok())
            return SysStatus::done(); // a directory we may not write: the port stays usable, unlocked
        const SysStatus linked = m_os.link(temp, target);
        // Our own fresh name: if it cannot go, it names a process that has ended.
        static_cast<void>(m_os.unlink(temp));
        if (linked.ok()) {
            m_held << path;
            return SysStatus::done();
        }
        if (linked.error() != EEXIST)
            return SysStatus::done(); // a directory that takes no links: unlocked, as above
        // Someone linked first: look at who it was.
    }
    return SysStatus::failed(EBUSY, "cannot take the lock " + path.toStdString());
}

void PortLock::release()
{
    // Only a lock that still names us goes; one that cannot go names a
    // process that has ended, which the next program takes for stale.
    for (const QString &held : std::as_const(m_held)) {
        if (lockHolder(held, m_os) == LockHolder::Us)
            static_cast<void>(m_os.unlink(QFile::encodeName(held)));
    }
    m_held.clear();
}

} // namespace corvanel
