#include "FakeComm.h"

#include "PortSettings.h"

#include <QTimer>

using corvanel::CommError;

QByteArray FakeComm::written() const
{
    QByteArray all;
    for (const QByteArray &w : writes)
        all += w;
    return all;
}

void FakeComm::receive(const QByteArray &bytes)
{
    m_input += bytes;
    raiseEvent(corvanel::comEvReceive);
}

void FakeComm::drain(qint64 n)
{
    if (m_queued == 0)
        return;
    m_queued = std::max<qint64>(0, m_queued - n);
    if (m_queued == 0)
        raiseEvent(corvanel::comEvSend);
}

void FakeComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw CommError("invalid port number");
    if (m_open)
        throw CommError("port already open");
    m_port = port;
}

void FakeComm::setSettings(const QString &settings)
{
    if (!corvanel::parseSettings(settings) || settings == refusedSettings)
        throw CommError("settings refused");
    m_settings = settings;
}

void FakeComm::setPortOpen(bool open)
{
    if (!open) {
        if (m_open)
            ++closes;
        m_open = false;
        m_queued = 0;
        return;
    }
    if (m_open)
        throw CommError("port already open");
    if (failOpen || m_port > devices.size())
        throw CommError("no such port");
    m_open = true;
    ++opens;
}

void FakeComm::setOutput(const QString &text)
{
    if (!m_open || failWrites)
        throw CommError("write refused");
    const QByteArray bytes = text.toLatin1();
    writes.append(bytes);
    Q_EMIT wrote(bytes);
    if (slowPort) {
        m_queued += bytes.size();
        maxQueued = std::max(maxQueued, m_queued);
    } else if (!bytes.isEmpty()) {
        // Sent at once; the notification comes from the event loop, as a port's does.
        QTimer::singleShot(0, this, [this] { raiseEvent(corvanel::comEvSend); });
    }
}

QByteArray FakeComm::InputBytes()
{
    if (!m_open)
        throw CommError("port closed");
    QByteArray taken;
    taken.swap(m_input);
    return taken;
}

void FakeComm::setLine(bool &line, bool value, qint16 code)
{
    if (line == value)
        return;
    line = value;
    if (m_open)
        QTimer::singleShot(0, this, [this, code] { raiseEvent(code); });
}

void FakeComm::setDTREnable(bool on)
{
    m_dtr = on;
    if (loopback) {
        setLine(dsr, on, corvanel::comEvDSR);
        setLine(cd, on, corvanel::comEvCD);
    }
}

void FakeComm::setRTSEnable(bool on)
{
    m_rts = on;
    if (loopback)
        setLine(cts, on, corvanel::comEvCTS);
}

bool FakeComm::CDHolding() const
{
    if (!m_open)
        throw CommError("port closed");
    return cd;
}

bool FakeComm::CTSHolding() const
{
    if (!m_open)
        throw CommError("port closed");
    return cts;
}

bool FakeComm::DSRHolding() const
{
    if (!m_open)
        throw CommError("port closed");
    return dsr;
}
