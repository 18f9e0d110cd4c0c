#pragma once

#include "LineWatcher.h"
#include "MSComm.h"
#include "ParityMark.h"
#include "PortList.h"
#include "PortLock.h"
#include "PortSettings.h"
#include "SystemPorts.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QTimer>

namespace corvanel {

// The serial-port component on QSerialPort. Port number n is the n-th device
// of the port source, listed afresh at each open. A port that another program
// holds (a live lock file in the lock directory, an exclusive open, a flock)
// is refused; while open, the port carries this program's lock. A hang-up or
// a read or write error while open closes the port once, quietly, from the
// event loop; the next operation that needs the port then fails as on a
// closed port. Every close first discards the output still queued.
class QtSerialComm final : public MSComm
{
    Q_OBJECT
public:
    explicit QtSerialComm(PortSource source = systemPorts, QString lockDirectory = systemLockDirectory(),
                          QObject *parent = nullptr);
    ~QtSerialComm() override;

    void setCommPort(qint16 port) override;
    qint16 CommPort() const override { return m_commPort; }
    void setSettings(const QString &settings) override;
    QString Settings() const override { return m_settingsText; }
    void setPortOpen(bool open) override;
    bool PortOpen() const override { return m_port.isOpen(); }
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

    // The device behind the open port, or empty.
    QString deviceName() const;
    // How the modem lines are followed while open.
    LineWatcher::Mode lineWatch() const { return m_lines.mode(); }

    // Whether the component is resting between reads of a slow line (the
    // data waits in the driver meanwhile).
    bool readsResting() const { return m_restingNotifier != nullptr; }
    // At most this much is read from the driver per notification. (The
    // input buffer of the configuration, InBufferSize, is nominal.)
    static constexpr qint64 ReadBlock = 65536;

private:
    int descriptor() const { return static_cast<int>(m_port.handle()); }
    void requireOpen(const char *what) const;
    void refuseSharedDevice();
    void applyFrame();
    void applyLines();
    bool holding(int line) const;
    bool deviceGone() const;
    // Closes the port; unless told otherwise, what is queued for output goes first.
    void closeQuietly(bool discardOutput = true);
    void onReadyRead();
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);
    void onLinesChanged(int bits);
    void listenAgainSoon();
    void restReads(qint64 arrived);
    void endReadRest();
    std::string lastError(const char *fallback) const;

    PortSource m_source;
    PortLock m_lock;
    QSerialPort m_port;
    LineWatcher m_lines;
    ParityMarkDecoder m_decoder;
    LineSettings m_settings;
    QString m_device;
    QString m_lastError;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    // Counts the opens: a close queued for one session never ends the next.
    quint64 m_session = 0;
    bool m_closeQueued = false;
    bool m_relistenQueued = false;
    QTimer m_readRest;
    QPointer<QSocketNotifier> m_restingNotifier;
    QElapsedTimer m_lastRead;    // the last notification of received data
    QElapsedTimer m_streamStart; // the first of the reads since the last pause
    qint16 m_commPort = 1;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_parityMarks = false;
};

} // namespace corvanel
