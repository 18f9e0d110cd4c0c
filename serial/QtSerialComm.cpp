#include "QtSerialComm.h"

#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace corvanel {
namespace {

constexpr int LinePollMs = 25; // line changes are noticed within 50 ms

QSerialPort::Parity toQt(Parity p)
{
    switch (p) {
    case Parity::Even: return QSerialPort::EvenParity;
    case Parity::Odd: return QSerialPort::OddParity;
    case Parity::Mark: return QSerialPort::MarkParity;
    case Parity::Space: return QSerialPort::SpaceParity;
    case Parity::None: break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits toQt(StopBits s)
{
    switch (s) {
    case StopBits::OneAndHalf: return QSerialPort::OneAndHalfStop;
    case StopBits::Two: return QSerialPort::TwoStop;
    case StopBits::One: break;
    }
    return QSerialPort::OneStop;
}

} // namespace

QtSerialComm::QtSerialComm(PortSource source, QObject *parent)
    : MSComm(parent), m_source(std::move(source))
{
    m_port.setReadBufferSize(InBufferSize);
    m_linePoll.setInterval(LinePollMs);
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComm::onReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &QtSerialComm::onBytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComm::onError);
    connect(&m_linePoll, &QTimer::timeout, this, &QtSerialComm::pollLines);
}

QtSerialComm::~QtSerialComm()
{
    closeQuietly();
}

void QtSerialComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw CommError("invalid port number");
    if (m_port.isOpen())
        throw CommError("port already open");
    m_commPort = port;
}

void QtSerialComm::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = parseSettings(settings);
    if (!parsed)
        throw CommError("invalid settings string");
    m_settings = *parsed;
    m_settingsText = settings;
    if (m_port.isOpen())
        applyFrame();
}

void QtSerialComm::setPortOpen(bool open)
{
    if (!open) {
        closeQuietly();
        return;
    }
    if (m_port.isOpen())
        throw CommError("port already open");

    const QStringList devices = orderPorts(m_source());
    if (m_commPort < 1 || m_commPort > devices.size())
        throw CommError("no such port");
    m_device = devices.at(m_commPort - 1);
    m_port.setPortName(m_device);
    m_lastError.clear();
    if (!m_port.open(QIODevice::ReadWrite))
        throw CommError(lastError("cannot open the port"));
    try {
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        applyFrame();
    } catch (...) {
        closeQuietly();
        throw;
    }
    applyLines();
    m_decoder.reset();
    const QSerialPort::PinoutSignals lines = m_port.pinoutSignals();
    m_linesReadable = m_port.error() == QSerialPort::NoError;
    m_port.clearError();
    m_lastLines = m_linesReadable ? lines : QSerialPort::NoSignal;
    // The poll also notices a device that hung up without an error.
    m_linePoll.start();
}

void QtSerialComm::applyFrame()
{
    const bool ok = m_port.setBaudRate(m_settings.baudRate) && m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits))
        && m_port.setParity(toQt(m_settings.parity)) && m_port.setStopBits(toQt(m_settings.stopBits));
    if (!ok)
        throw CommError(lastError("the driver refused the settings"));

    // With parity on, have the driver mark bytes received with a parity error
    // so that they can be replaced; a real 0xFF then arrives doubled.
    const int fd = static_cast<int>(m_port.handle());
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        throw CommError("cannot read the terminal attributes");
    m_parityMarks = m_settings.parity != Parity::None;
    if (m_parityMarks) {
        tio.c_iflag |= INPCK | PARMRK;
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | ISTRIP);
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(PARMRK);
    }
    if (::tcsetattr(fd, TCSANOW, &tio) != 0)
        throw CommError("the driver refused the settings");

    // Some drivers accept a frame and silently keep their own: read back
    // what the driver holds and refuse to pretend.
    termios held {};
    if (::tcgetattr(fd, &held) != 0)
        throw CommError("cannot read the terminal attributes");
    const QString mismatch = frameMismatch(held.c_cflag, m_settings);
    if (!mismatch.isEmpty())
        throw CommError(("the driver did not apply the settings: " + mismatch).toStdString());
    m_parityMarks = m_parityMarks && (held.c_iflag & PARMRK);
}

void QtSerialComm::applyLines()
{
    if (!m_port.isOpen())
        return;
    // A driver without modem lines (a pseudo-terminal) refuses these; the
    // values are kept all the same.
    m_port.setDataTerminalReady(m_dtr);
    m_port.setRequestToSend(m_rts);
    m_port.clearError();
}

void QtSerialComm::closeQuietly()
{
    m_linePoll.stop();
    m_linesReadable = false;
    m_lastLines = QSerialPort::NoSignal;
    if (m_port.isOpen())
        m_port.close();
    m_port.clearError();
}

void QtSerialComm::requireOpen(const char *what) const
{
    if (!m_port.isOpen())
        throw CommError(std::string(what) + ": port is closed");
}

void QtSerialComm::setOutput(const QString &text)
{
    requireOpen("Output");
    // toLatin1 writes '?' for every character above 255.
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty())
        return;
    if (m_port.write(bytes) != bytes.size())
        throw CommError("write refused");
}

QByteArray QtSerialComm::InputBytes()
{
    requireOpen("Input");
    QByteArray raw = m_port.readAll();
    if (m_parityMarks)
        raw = m_decoder.decode(raw);
    return raw;
}

qint64 QtSerialComm::OutBufferCount() const
{
    return m_port.isOpen() ? m_port.bytesToWrite() : 0;
}

void QtSerialComm::setDTREnable(bool on)
{
    m_dtr = on;
    applyLines();
}

void QtSerialComm::setRTSEnable(bool on)
{
    m_rts = on;
    applyLines();
}

QSerialPort::PinoutSignals QtSerialComm::readLines() const
{
    requireOpen("line state");
    if (!m_linesReadable)
        return QSerialPort::NoSignal;
    return m_lastLines;
}

bool QtSerialComm::CDHolding() const { return readLines() & QSerialPort::DataCarrierDetectSignal; }
bool QtSerialComm::CTSHolding() const { return readLines() & QSerialPort::ClearToSendSignal; }
bool QtSerialComm::DSRHolding() const { return readLines() & QSerialPort::DataSetReadySignal; }

QString QtSerialComm::deviceName() const
{
    return m_port.isOpen() ? m_device : QString();
}

bool QtSerialComm::deviceGone() const
{
    if (!m_port.isOpen())
        return false;
    pollfd p {};
    p.fd = static_cast<int>(m_port.handle());
    p.events = POLLIN | POLLOUT;
    if (::poll(&p, 1, 0) < 0)
        return errno != EINTR;
    return p.revents & (POLLHUP | POLLERR | POLLNVAL);
}

void QtSerialComm::onReadyRead()
{
    raiseEvent(comEvReceive);
}

void QtSerialComm::onBytesWritten()
{
    if (m_port.isOpen() && m_port.bytesToWrite() == 0)
        raiseEvent(comEvSend);
}

std::string QtSerialComm::lastError(const char *fallback) const
{
    return m_lastError.isEmpty() ? std::string(fallback) : m_lastError.toStdString();
}

void QtSerialComm::onError(QSerialPort::SerialPortError error)
{
    // Errors are cleared below so that the port carries on; keep the words.
    if (error != QSerialPort::NoError)
        m_lastError = m_port.errorString();
    switch (error) {
    case QSerialPort::NoError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // A full kernel buffer also arrives here (EAGAIN): only a device that
        // has really gone ends the session.
        if (deviceGone())
            closeQuietly();
        else
            m_port.clearError();
        return;
    default:
        m_port.clearError();
        return;
    }
}

void QtSerialComm::pollLines()
{
    if (!m_port.isOpen())
        return;
    if (deviceGone()) {
        closeQuietly();
        return;
    }
    if (!m_linesReadable)
        return;
    const QSerialPort::PinoutSignals now = m_port.pinoutSignals();
    if (m_port.error() != QSerialPort::NoError) {
        m_port.clearError();
        return;
    }
    const QSerialPort::PinoutSignals was = m_lastLines;
    m_lastLines = now;
    const auto changed = [&](QSerialPort::PinoutSignal s) { return (was & s) != (now & s); };
    // Each notification reads the holding properties, which now give the new state.
    if (changed(QSerialPort::ClearToSendSignal))
        raiseEvent(comEvCTS);
    if (m_port.isOpen() && changed(QSerialPort::DataSetReadySignal))
        raiseEvent(comEvDSR);
    if (m_port.isOpen() && changed(QSerialPort::DataCarrierDetectSignal))
        raiseEvent(comEvCD);
}

} // namespace corvanel
