#pragma once

#include "MSComm.h"
#include "ParityMark.h"
#include "PortList.h"
#include "SystemPorts.h"
#include "PortSettings.h"

#include <QSerialPort>
#include <QTimer>

namespace corvanel {

// The serial-port component on QSerialPort. Port number n is the n-th device
// of the port source, listed afresh at each open. A hang-up or a read or
// write error while open closes the port once, quietly; the next operation
// that needs the port then fails as on a closed port.
class QtSerialComm final : public MSComm
{
    Q_OBJECT
public:
    explicit QtSerialComm(PortSource source = systemPorts, QObject *parent = nullptr);
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

private:
    void requireOpen(const char *what) const;
    void applyFrame();
    void applyLines();
    QSerialPort::PinoutSignals readLines() const;
    bool deviceGone() const;
    void closeQuietly();
    void onReadyRead();
    void onBytesWritten();
    void onError(QSerialPort::SerialPortError error);
    std::string lastError(const char *fallback) const;
    void pollLines();

    PortSource m_source;
    QSerialPort m_port;
    QTimer m_linePoll;
    ParityMarkDecoder m_decoder;
    LineSettings m_settings;
    QString m_device;
    QString m_lastError;
    QString m_settingsText = QStringLiteral("9600,N,8,1");
    qint16 m_commPort = 1;
    bool m_dtr = false;
    bool m_rts = false;
    bool m_parityMarks = false;
    bool m_linesReadable = false;
    QSerialPort::PinoutSignals m_lastLines;
};

} // namespace corvanel
