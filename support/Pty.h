#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal made by the test itself: the program under test opens the
// slave side as its port; the test plays the device on the master side.
class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes everything to the master side.
    void write(const QByteArray &bytes);
    // Collects what the program sent, handling Qt events while it waits,
    // until n bytes have come or the time is up.
    QByteArray read(qsizetype n, int timeoutMs = 3000);
    // Whatever arrives within the time, handling Qt events meanwhile.
    QByteArray drain(int timeoutMs);
    // The device goes away: the master side closes.
    void hangUp();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// A lock directory of the test's own, made on first use: the component's
// lock files never go to the machine's.
QString scratchLockDirectory();

// Runs the Qt event loop for about ms milliseconds.
void pumpEvents(int ms);
