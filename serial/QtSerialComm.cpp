#include "QtSerialComm.h"

#include <QTimer>
#include <cerrno>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>

namespace corvanel {
namespace {

constexpr int RelistenMs = 10;

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

QtSerialComm::QtSerialComm(PortSource source, QString lockDirectory, QObject *parent)
    : MSComm(parent), m_source(std::move(source)), m_lock(std::move(lockDirectory))
{
    m_port.setReadBufferSize(ReadBlock);
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialComm::onReadyRead);
    connect(&m_port, &QSerialPort::bytesWritten, this, &QtSerialComm::onBytesWritten);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialComm::onError);
    connect(&m_lines, &LineWatcher::changed, this, &QtSerialComm::onLinesChanged);
    m_readRest.setSingleShot(true);
    connect(&m_readRest, &QTimer::timeout, this, &QtSerialComm::endReadRest);
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
    // Before opening: QSerialPort's own locking takes a lock file in another
    // format for stale and replaces it.
    m_lock.check(m_device);
    m_port.setPortName(m_device);
    m_lastError.clear();
    // Refused with EBUSY while another program holds the device exclusively.
    if (!m_port.open(QIODevice::ReadWrite))
        throw CommError(lastError("cannot open the port"));
    ++m_session;
    m_closeQueued = false;
    try {
        refuseSharedDevice();
    } catch (const CommError &) {
        // Another program's port: leave its lines and its queued output alone.
        closeQuietly(false);
        throw;
    }
    // The driver raised DTR and RTS on opening; some boards reset on that
    // pulse, so the boxes' state goes to the lines before anything else.
    applyLines();
    try {
        m_lock.acquire(m_device);
        m_port.setFlowControl(QSerialPort::NoFlowControl);
        applyFrame();
    } catch (...) {
        closeQuietly();
        throw;
    }
    m_decoder.reset();
    m_lines.start(descriptor());
}

void QtSerialComm::refuseSharedDevice()
{
    // Programs that claim a port with flock (rather than a lock file or an
    // exclusive open, which root may override) are honoured, and see ours.
    if (::flock(descriptor(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw CommError("the port is held by another program (flock)");
}

void QtSerialComm::applyFrame()
{
    const bool ok = m_port.setBaudRate(m_settings.baudRate) && m_port.setDataBits(static_cast<QSerialPort::DataBits>(m_settings.dataBits))
        && m_port.setParity(toQt(m_settings.parity)) && m_port.setStopBits(toQt(m_settings.stopBits));
    if (!ok)
        throw CommError(lastError("the driver refused the settings"));

    // With parity on, have the driver mark bytes received with a parity error
    // so that they can be replaced; a real 0xFF then arrives doubled.
    const int fd = descriptor();
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
    // Straight on the descriptor, one call per direction: this runs right
    // after the open, while the lines may be up against the user's wish. A
    // driver without modem lines (a pseudo-terminal) refuses; the values are
    // kept all the same.
    const int raise = (m_dtr ? TIOCM_DTR : 0) | (m_rts ? TIOCM_RTS : 0);
    const int drop = (TIOCM_DTR | TIOCM_RTS) & ~raise;
    if (drop != 0)
        ::ioctl(descriptor(), TIOCMBIC, &drop);
    if (raise != 0)
        ::ioctl(descriptor(), TIOCMBIS, &raise);
}

void QtSerialComm::closeQuietly(bool discardOutput)
{
    m_lines.stop();
    m_readRest.stop();
    m_restingNotifier = nullptr;
    if (m_port.isOpen()) {
        // Closing never waits for the line: a real port's driver would hold
        // close() until its queue drained (up to 30 s), and Exit stops all
        // transmission at once. Discard ours and the driver's queue first.
        if (discardOutput) {
            m_port.clear(QSerialPort::Output);
            ::tcflush(descriptor(), TCOFLUSH);
        }
        m_port.close();
    }
    m_lock.release();
    m_closeQueued = false;
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

bool QtSerialComm::holding(int line) const
{
    requireOpen("line state");
    return m_lines.lines() & line;
}

bool QtSerialComm::CDHolding() const { return holding(TIOCM_CAR); }
bool QtSerialComm::CTSHolding() const { return holding(TIOCM_CTS); }
bool QtSerialComm::DSRHolding() const { return holding(TIOCM_DSR); }

QString QtSerialComm::deviceName() const
{
    return m_port.isOpen() ? m_device : QString();
}

bool QtSerialComm::deviceGone() const
{
    if (!m_port.isOpen())
        return false;
    pollfd p {};
    p.fd = descriptor();
    p.events = POLLIN | POLLOUT;
    if (::poll(&p, 1, 0) < 0)
        return errno != EINTR;
    return p.revents & (POLLHUP | POLLERR | POLLNVAL);
}

void QtSerialComm::onReadyRead()
{
    const qint64 arrived = m_port.bytesAvailable();
    raiseEvent(comEvReceive);
    restReads(arrived);
}

void QtSerialComm::restReads(qint64 arrived)
{
    // Reads that follow each other within this long make one stream.
    constexpr qint64 PauseMs = 100;
    if (!m_lastRead.isValid() || m_lastRead.elapsed() > PauseMs)
        m_streamStart.start();
    m_lastRead.start();
    // The handler may have closed the port, or left the data unread.
    if (!m_port.isOpen() || m_restingNotifier)
        return;
    const int ms = readRestMs(arrived, m_settings.baudRate, m_streamStart.elapsed());
    if (ms <= 0)
        return;
    // QSerialPort listens to the device with a notifier of its own and
    // offers no pause; it starts listening again on setReadBufferSize.
    const auto notifiers = m_port.findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *n : notifiers) {
        if (n->type() == QSocketNotifier::Read && n->isEnabled()) {
            n->setEnabled(false);
            m_restingNotifier = n;
            m_readRest.start(ms);
            return;
        }
    }
}

void QtSerialComm::endReadRest()
{
    if (!m_restingNotifier)
        return;
    m_restingNotifier = nullptr;
    if (m_port.isOpen())
        m_port.setReadBufferSize(ReadBlock); // listens again
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
        // has really gone ends the session. This runs inside QSerialPort's
        // own read or write handling, which goes on using its buffers after
        // the signal: the close waits for the event loop.
        if (deviceGone()) {
            if (!m_closeQueued) {
                m_closeQueued = true;
                QMetaObject::invokeMethod(
                    this,
                    [this, session = m_session] {
                        if (session == m_session && m_closeQueued)
                            closeQuietly();
                    },
                    Qt::QueuedConnection);
            }
        } else {
            m_port.clearError();
            if (error == QSerialPort::ResourceError)
                listenAgainSoon();
        }
        return;
    default:
        m_port.clearError();
        return;
    }
}

void QtSerialComm::listenAgainSoon()
{
    // After a refused read (EAGAIN, EIO) QSerialPort stops listening to the
    // device. Listen again a little later: soon enough to lose nothing, late
    // enough never to spin on a driver that keeps refusing.
    if (m_relistenQueued)
        return;
    m_relistenQueued = true;
    QTimer::singleShot(RelistenMs, this, [this, session = m_session] {
        m_relistenQueued = false;
        if (session == m_session && m_port.isOpen())
            m_port.setReadBufferSize(ReadBlock); // restarts QSerialPort's read notifier
    });
}

void QtSerialComm::onLinesChanged(int bits)
{
    // Each notification reads the holding properties, which now give the
    // new state; a handler may close the port in between.
    if (bits & TIOCM_CTS)
        raiseEvent(comEvCTS);
    if (m_port.isOpen() && (bits & TIOCM_DSR))
        raiseEvent(comEvDSR);
    if (m_port.isOpen() && (bits & TIOCM_CAR))
        raiseEvent(comEvCD);
}

} // namespace corvanel
