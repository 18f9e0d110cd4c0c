#pragma once

#include "LineWatcher.h"
#include "MSComm.h"
#include "ParityMark.h"
#include "PortList.h"
#include "PortLock.h"
#include "PortOs.h"
#include "PortSettings.h"
#include "SystemPorts.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <termios.h>

namespace corvanel {

// The serial-port component on the device's descriptor: termios, its own
// notifiers for reading and writing, every call through PortOs. Port number n is the n-th device
// of the port source, listed afresh at each open. A port that another program
// holds (a live lock file in the lock directory, an exclusive open, a flock)
// is refused; while open, the port carries this program's lock. A hang-up or
// a read or write error while open closes the port once, quietly, from the
// event loop; the next operation that needs the port then fails as on a
// closed port. Every close first discards the output still queued.
class TermiosComm final : public MSComm
{
    Q_OBJECT
public:
    explicit TermiosComm(PortSource source = systemPorts, QString lockDirectory = systemLockDirectory(),
                         PortOs &os = systemPortOs(), QObject *parent = nullptr);
    ~TermiosComm() override;

    void setCommPort(qint16 port) override;
    qint16 CommPort() const override { return m_commPort; }
    void setSettings(const QString &settings) override;
    QString Settings() const override { return m_settingsText; }
    void setPortOpen(bool open) override;
    bool PortOpen() const override { return m_fd >= 0; }
    void setOutput(const QString &text) override;
    QByteArray InputBytes() override;
    qint64 OutBufferCount() const override;
    void setDTREnable(bool on) override;
    bool DTREnable() const override { return m_dtr; }
    void setRTSEnable(bool on) override;
    bool RTSEnable() const override { return m_rts; }
    bool CDHolding() const override;
    bool CTSHolding() const override;
    bool DSRHolding() const override;

    QStringList portDevices() const override { return orderPorts(m_source()); }

    // At most this much is read from the driver per notification. (The
    // input buffer of the configuration, InBufferSize, is nominal.)
    static constexpr qint64 ReadBlock = 65536;

private:
    void requireOpen(const char *what) const;
    void openDevice();
    void applyFrame();
    void applyLines();
    bool holding(int line) const;
    bool deviceGone();
    // Closes the port; unless told otherwise, what is queued for output goes first.
    void closeQuietly(bool discardOutput = true);
    void onReadable();
    void onWritable();
    // A read or write the driver refused: the session ends if the device has
    // gone, otherwise the notifier rests a little and listens again.
    void refused(const SysStatus &status);
    void listenAgain();
    void closeSoon();
    void onLinesChanged(int bits);
    void restReads(qint64 arrived);
    void endReadRest();
    void listenForReads();

    PortSource m_source;
    PortOs &m_os;
    PortLock m_lock;
    LineWatcher m_lines;
    ParityMarkDecoder m_decoder;
    LineSettings m_settings;
    QString m_device;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    int m_fd = -1;
    termios m_original {}; // the device's attributes before we opened it, put back at close
    bool m_restoreAttributes = false;
    bool m_exclusive = false; // TIOCEXCL is ours to clear
    // Ours, on the descriptor, while open (children: gone with us at the latest).
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_relisten; // after a refused read or write
    QByteArray m_scratch; // what one read brings, before it joins m_input
    QByteArray m_input; // read from the driver, not yet taken by InputBytes
    QByteArray m_output; // queued for the driver from m_outputDone on
    qint64 m_outputDone = 0;
    // Counts the opens: a close queued for one session never ends the next.
    quint64 m_session = 0;
    bool m_closeQueued = false;
    QTimer m_readRest;
    QElapsedTimer m_lastRead; // the last notification of received data
    QElapsedTimer m_streamStart; // the first of the reads since the last pause
    qint16 m_commPort = 1;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_parityMarks = false;
};

} // namespace corvanel
