#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <string>

struct stat;
struct termios;

namespace corvanel {

// What one call to the operating system gave: its value, or the errno it
// failed with and what was being done. The one error style of the port
// layer; the port component turns a failure into CommError at its door.
class [[nodiscard]] SysStatus
{
public:
    static SysStatus done(qint64 value = 0) { return SysStatus(value, 0, {}); }
    static SysStatus failed(int error, std::string what) { return SysStatus(-1, error, std::move(what)); }
    // The status of a call that returned `result`: a failure (errno) when negative.
    static SysStatus of(qint64 result, const char *what);

    bool ok() const { return m_error == 0; }
    qint64 value() const { return m_value; }
    int error() const { return m_error; }
    // "what: the system's words for the error".
    std::string message() const;

private:
    SysStatus(qint64 value, int error, std::string what) : m_value(value), m_error(error), m_what(std::move(what)) {}
    qint64 m_value;
    int m_error;
    std::string m_what;
};

// Every call the port layer makes to the operating system: the device's
// descriptor, its terminal attributes and modem lines, the lock files and the
// paths they are named after.
// The program uses systemPortOs(); a test puts in an object that fails the
// calls it chooses. No call throws, and none retries after EINTR unless
// said so. Except waitLines, every call is made on the user-interface thread.
class PortOs
{
public:
    virtual ~PortOs();

    // The device for reading and writing, non-blocking, never as the
    // controlling terminal, closed on exec. Value: the descriptor.
    virtual SysStatus openDevice(const QByteArray &path) = 0;
    virtual SysStatus close(int fd) = 0;
    // Value: the bytes read (0 at the end: a hung-up line) or written.
    virtual SysStatus read(int fd, char *buffer, qint64 size) = 0;
    virtual SysStatus write(int fd, const char *data, qint64 size) = 0;
    // Whether the device has hung up or failed, without waiting. Value: 1 or 0.
    virtual SysStatus hungUp(int fd) = 0;

    // tcgetattr, and tcsetattr effective at once.
    virtual SysStatus getAttributes(int fd, termios *attributes) = 0;
    virtual SysStatus setAttributes(int fd, const termios &attributes) = 0;
    // Any positive rate: the standard ones through termios, others as the
    // driver's own rate (BOTHER).
    virtual SysStatus setSpeed(int fd, qint32 baudRate) = 0;
    // Discards what is queued for output (tcflush TCOFLUSH).
    virtual SysStatus discardOutput(int fd) = 0;
    // TIOCEXCL: nobody else may open the device while we hold it.
    virtual SysStatus claimExclusive(int fd) = 0;
    // TIOCNXCL: the device's exclusivity ends with our use of it.
    virtual SysStatus releaseExclusive(int fd) = 0;
    // flock(LOCK_EX | LOCK_NB): EWOULDBLOCK when another program holds it.
    virtual SysStatus claimFlock(int fd) = 0;

    // TIOCMGET; value: the TIOCM bits.
    virtual SysStatus modemLines(int fd) = 0;
    // TIOCMBIS when `raise`, else TIOCMBIC, of `bits`.
    virtual SysStatus setModemLines(int fd, int bits, bool raise) = 0;
    // TIOCMIWAIT: blocks until a line in `mask` changes, on the line
    // watcher's own thread; gives up with EINTR when that thread gets a signal.
    virtual SysStatus waitLines(int fd, int mask) = 0;

    // realpath: the absolute path with every link, "." and ".." resolved.
    virtual SysStatus canonicalPath(const QByteArray &path, QByteArray *resolved) = 0;
    // lstat: never follows a link.
    virtual SysStatus linkStatus(const QByteArray &path, struct stat *status) = 0;
    // stat: follows links.
    virtual SysStatus fileStatus(const QByteArray &path, struct stat *status) = 0;
    // access(2) with R_OK, W_OK...
    virtual SysStatus accessible(const QByteArray &path, int mode) = 0;
    // Reads the first 4 KB of a lock file without following a link or
    // waiting (O_NOFOLLOW | O_NONBLOCK), and its status through the open
    // descriptor. Value: 1 for a regular file, 0 for anything else.
    virtual SysStatus readLockFile(const QByteArray &path, QByteArray *content, struct stat *status) = 0;
    // Writes `content`, readable by everyone, into a new file named after
    // `pattern` (ending in XXXXXX, replaced with the name made).
    virtual SysStatus writeNewFile(QByteArray *pattern, const QByteArray &content) = 0;
    virtual SysStatus link(const QByteArray &from, const QByteArray &to) = 0;
    virtual SysStatus unlink(const QByteArray &path) = 0;
    // Value: 1 when process `pid` exists (whoever owns it), else 0.
    virtual SysStatus processExists(qint64 pid) = 0;
    virtual qint64 processId() = 0;
    // How QLockFile tells this machine and this boot from others: the host's
    // name and the machine's and the boot's unique ids, each empty where the
    // system does not say.
    struct MachineIds
    {
        QByteArray host;
        QByteArray machine;
        QByteArray boot;
    };
    virtual MachineIds machineIds() = 0;
};

// The machine's own.
PortOs &systemPortOs();

} // namespace corvanel
