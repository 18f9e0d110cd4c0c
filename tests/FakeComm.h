#pragma once

#include "MSComm.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

// A port component for tests: records every write, refuses what it is told
// to refuse, and raises the notifications the test asks for.
class FakeComm : public corvanel::MSComm
{
    Q_OBJECT
public:
    using MSComm::MSComm;

    // Set up by the test.
    QStringList devices {QStringLiteral("/dev/fake0")};
    bool failOpen = false;
    bool failWrites = false;
    QString refusedSettings; // this settings string is refused
    bool loopback = false; // RTS -> CTS, DTR -> DSR and CD
    bool cd = false, cts = false, dsr = false;
    // Bytes the fake holds back after each write, drained by drain().
    bool slowPort = false;

    // Seen by the test.
    QList<QByteArray> writes;
    int opens = 0;
    int closes = 0;
    qint64 maxQueued = 0;

    QByteArray written() const;
    // Data arrives: queued for Input and notified with code 2.
    void receive(const QByteArray &bytes);
    void notify(qint16 code) { raiseEvent(code); }
    // The port lets `n` queued bytes go; code 1 when all have gone.
    void drain(qint64 n);

    void setCommPort(qint16 port) override;
    qint16 CommPort() const override { return m_port; }
    void setSettings(const QString &settings) override;
    QString Settings() const override { return m_settings; }
    void setPortOpen(bool open) override;
    bool PortOpen() const override { return m_open; }
    void setOutput(const QString &text) override;
    QByteArray InputBytes() override;
    qint64 OutBufferCount() const override { return m_queued; }
    void setDTREnable(bool on) override;
    bool DTREnable() const override { return m_dtr; }
    void setRTSEnable(bool on) override;
    bool RTSEnable() const override { return m_rts; }
    bool CDHolding() const override;
    bool CTSHolding() const override;
    bool DSRHolding() const override;
    QStringList portDevices() const override { return devices; }

Q_SIGNALS:
    // After every accepted write.
    void wrote(const QByteArray &bytes);

private:
    void setLine(bool &line, bool value, qint16 code);

    qint16 m_port = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    bool m_open = false;
    bool m_dtr = false;
    bool m_rts = false;
    qint64 m_queued = 0;
    QByteArray m_input;
};
