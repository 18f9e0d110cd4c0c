#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace corvanel {

// Raised by a property write or read the port refuses. Handlers that must
// react to port failures catch it; it never reaches the event loop.
class CommError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Event codes read from CommEvent inside OnComm.
enum CommEvents : qint16 {
    comEvSend = 1,
    comEvReceive = 2,
    comEvCTS = 3,
    comEvDSR = 4,
    comEvCD = 5,
    comEvRing = 6,
    comEvEOF = 7,
    comEventBreak = 1001,
    comEventFrame = 1004,
    comEventOverrun = 1006,
    comEventRxOver = 1008,
    comEventRxParity = 1009,
    comEventTxFull = 1010,
    comEventDCB = 1011,
};

// The serial-port control: the only door to the port. Characters and bytes
// map one to one (codes 0..255); a character above 255 goes out as '?'.
// Every call runs on the user-interface thread; OnComm is delivered from the
// event loop, never from inside a property call.
class MSComm : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MSComm() override;

    static constexpr int InBufferSize = 1024;
    static constexpr int OutBufferSize = 512;

    // Port number n selects the n-th serial device present. Throws CommError
    // for 0, a negative number, or (when the port opens) a number without a device.
    virtual void setCommPort(qint16 port) = 0;
    virtual qint16 CommPort() const = 0;

    // "baud,parity,data,stop". Throws CommError for a string it does not accept,
    // or when the open port's driver refuses or silently ignores it.
    virtual void setSettings(const QString &settings) = 0;
    virtual QString Settings() const = 0;

    // Writing true opens the selected port with the current settings (throws
    // CommError if it cannot); writing false closes it (never throws).
    virtual void setPortOpen(bool open) = 0;
    virtual bool PortOpen() const = 0;

    // Queues the characters for transmission. Throws CommError on a closed port.
    virtual void setOutput(const QString &text) = 0;
    // Returns and removes what waits in the receive buffer. Throws on a closed port.
    QString Input() { return QString::fromLatin1(InputBytes()); }
    // The same as bytes, one per character, without the round trip through text.
    virtual QByteArray InputBytes() = 0;
    // Bytes written but not yet handed to the driver.
    virtual qint64 OutBufferCount() const = 0;

    // Kept while the port is closed and applied whenever it is open.
    virtual void setDTREnable(bool on) = 0;
    virtual bool DTREnable() const = 0;
    virtual void setRTSEnable(bool on) = 0;
    virtual bool RTSEnable() const = 0;

    // Input lines; each throws CommError on a closed port. A driver that
    // cannot report lines reads as all lines off.
    virtual bool CDHolding() const = 0;
    virtual bool CTSHolding() const = 0;
    virtual bool DSRHolding() const = 0;

    qint16 CommEvent() const { return m_commEvent; }

    // The devices behind the port numbers: entry n-1 is port n, listed afresh.
    virtual QStringList portDevices() const = 0;

Q_SIGNALS:
    void OnComm();

protected:
    // Sets CommEvent and notifies.
    void raiseEvent(qint16 code);

private:
    qint16 m_commEvent = 0;
};

} // namespace corvanel
