#pragma once

#include "PortOs.h"

#include <atomic>
#include <functional>
#include <mutex>

namespace corvanel {

// The port's operating system as the machine has it, except for the calls a
// test makes fail, the hang-up it announces and the modem lines it sets.
// Safe to use from the line watcher's thread.
class FaultyOs final : public PortOs
{
public:
    enum Call {
        Open,
        Close,
        Read,
        Write,
        DiscardOutput,
        ModemLines,
        WaitLines,
        CanonicalPath,
        WriteNewFile,
        CallCount
    };

    // The next `times` uses of `call` fail with `error`; -1: every use from now on.
    void fail(Call call, int error, int times = -1);
    // How often `call` has been made (failed uses included).
    int uses(Call call) const;

    std::atomic<bool> gone {false}; // what hungUp reports
    // When set, they stand for TIOCMGET and (unless it is made to fail) TIOCMIWAIT.
    std::function<SysStatus(int fd)> modemLinesHook;
    std::function<SysStatus(int fd, int mask)> waitLinesHook;

    SysStatus openDevice(const QByteArray &path) override;
    SysStatus close(int fd) override;
    SysStatus read(int fd, char *buffer, qint64 size) override;
    SysStatus write(int fd, const char *data, qint64 size) override;
    SysStatus hungUp(int fd) override;
    SysStatus getAttributes(int fd, termios *attributes) override { return m_real.getAttributes(fd, attributes); }
    SysStatus setAttributes(int fd, const termios &attributes) override { return m_real.setAttributes(fd, attributes); }
    SysStatus setSpeed(int fd, qint32 baudRate) override { return m_real.setSpeed(fd, baudRate); }
    SysStatus discardOutput(int fd) override;
    SysStatus claimExclusive(int fd) override { return m_real.claimExclusive(fd); }
    SysStatus releaseExclusive(int fd) override { return m_real.releaseExclusive(fd); }
    SysStatus claimFlock(int fd) override { return m_real.claimFlock(fd); }
    SysStatus modemLines(int fd) override;
    SysStatus setModemLines(int fd, int bits, bool raise) override { return m_real.setModemLines(fd, bits, raise); }
    SysStatus waitLines(int fd, int mask) override;
    SysStatus canonicalPath(const QByteArray &path, QByteArray *resolved) override;
    SysStatus linkStatus(const QByteArray &path, struct stat *status) override
    {
        return m_real.linkStatus(path, status);
    }
    SysStatus fileStatus(const QByteArray &path, struct stat *status) override
    {
        return m_real.fileStatus(path, status);
    }
    SysStatus accessible(const QByteArray &path, int mode) override { return m_real.accessible(path, mode); }
    SysStatus readLockFile(const QByteArray &path, QByteArray *content, struct stat *status) override
    {
        return m_real.readLockFile(path, content, status);
    }
    SysStatus writeNewFile(QByteArray *pattern, const QByteArray &content) override;
    SysStatus link(const QByteArray &from, const QByteArray &to) override { return m_real.link(from, to); }
    SysStatus unlink(const QByteArray &path) override { return m_real.unlink(path); }
    SysStatus processExists(qint64 pid) override { return m_real.processExists(pid); }
    qint64 processId() override { return m_real.processId(); }
    MachineIds machineIds() override { return m_real.machineIds(); }

private:
    // Counts the use; a failure when one is due.
    bool failing(Call call, SysStatus *status);

    PortOs &m_real = systemPortOs();
    mutable std::mutex m_mutex;
    int m_error[CallCount] {};
    int m_times[CallCount] {};
    int m_uses[CallCount] {};
};

} // namespace corvanel
