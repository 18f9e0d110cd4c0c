#pragma once

#include "PortOs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace corvanel {

// The machine's lock directory for serial devices: /run/lock where it exists
// (Debian's /var/lock is a link to it), otherwise /var/lock.
QString systemLockDirectory(PortOs &os = systemPortOs());

// The names of a device's lock files, "LCK.." and the device's name relative
// to /dev with '/' as '_': first for the device behind any links
// (/dev/ttyUSB0 gives "LCK..ttyUSB0", /dev/pts/3 "LCK..pts_3"), then for the
// path as given when that differs. Outside /dev the file name is used.
QStringList lockNames(const QString &devicePath, PortOs &os = systemPortOs());

// The process a lock file names: the first line in ASCII decimal, with or
// without blanks around it; further lines are ignored. Empty when the first
// line is not a positive process number.
std::optional<qint64> lockPid(const QByteArray &content);

// Who holds a lock file, as far as the file tells. The file is looked at
// without following links and without ever waiting.
enum class LockHolder {
    Nobody, // no file, or a stale one: its process has ended, or it names no process and is old
    Us, // this process
    Another, // a live process, a file that cannot be read or is still being written, or anything
             // but a regular file (a FIFO, socket, device or symbolic link)
};
LockHolder lockHolder(const QString &lockFile, PortOs &os = systemPortOs());

// The lock file QSerialPort takes for a device before opening it: "LCK.."
// and the path without "/dev/" (with '/' as '_'), in the first of its lock
// directories that can be read and holds the file or can be written. Empty
// when there is none.
QString serialPortLockFile(const QString &devicePath, PortOs &os = systemPortOs());

// UUCP lock files ("LCK..ttyUSB0" holding the owner's process number in ten
// characters), as terminal programs write them, in one lock directory.
// Unreadable or garbled files are honoured while they are younger than a
// writer needs (the same 30 s after which Qt's own lock files count as stale).
class PortLock
{
public:
    explicit PortLock(QString directory, PortOs &os = systemPortOs()) : m_directory(std::move(directory)), m_os(os) {}
    ~PortLock() { release(); }
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

    // Fails (EBUSY) when another process holds a lock on the device, here
    // or where QSerialPort-based programs look for theirs (serialPortLockFile).
    SysStatus check(const QString &devicePath) const;
    // Takes this process's lock on the device, in the directory and where
    // QSerialPort-based programs look (serialPortLockFile), unless a lock
    // naming this process is there already. Each lock is written whole in a
    // new file of a fresh name, then linked into place.
    // Fails (EBUSY) when another process holds it. A directory that cannot
    // be written leaves the device unlocked, without an error.
    SysStatus acquire(const QString &devicePath);
    // Removes the locks this object made, if they still name this process.
    void release();

    QString directory() const { return m_directory; }

private:
    SysStatus take(const QString &path, const QByteArray &content);

    QString m_directory;
    PortOs &m_os;
    QStringList m_held;
};

} // namespace corvanel
