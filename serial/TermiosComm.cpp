#include "TermiosComm.h"

#include <QFile>
#include <cerrno>
#include <sys/ioctl.h>

namespace corvanel {
namespace {

// How long a notifier whose read or write the driver refused rests before
// it listens again: soon enough to lose nothing, late enough never to spin.
constexpr int RelistenMs = 10;

// The door: inside the port layer a failure is a status, outside it is CommError.
void throwIfFailed(const SysStatus &status)
{
    if (!status.ok())
        throw CommError(status.message());
}

void setFrame(termios &tio, const LineSettings &settings)
{
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    tio.c_cflag |= sizes[qBound(5, settings.dataBits, 8) - 5];
    switch (settings.parity) {
    case Parity::Even:
        tio.c_cflag |= PARENB;
        break;
    case Parity::Odd:
        tio.c_cflag |= PARENB | PARODD;
        break;
    case Parity::Mark:
        tio.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case Parity::Space:
        tio.c_cflag |= PARENB | CMSPAR;
        break;
    case Parity::None:
        break;
    }
    // Linux has no 1.5 stop bits: CSTOPB gives 1.5 with 5 data bits on a real
    // UART, and frameMismatch refuses it with more.
    if (settings.stopBits != StopBits::One)
        tio.c_cflag |= CSTOPB;
    // With parity on, have the driver mark bytes received with a parity
    // error so that they can be replaced; a real 0xFF then arrives doubled.
    if (settings.parity != Parity::None) {
        tio.c_iflag |= INPCK | PARMRK;
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNPAR | ISTRIP);
    } else {
        tio.c_iflag &= ~static_cast<tcflag_t>(INPCK | PARMRK);
    }
}

} // namespace

TermiosComm::TermiosComm(PortSource source, QString lockDirectory, PortOs &os, QObject *parent)
    : MSComm(parent), m_source(std::move(source)), m_os(os), m_lock(std::move(lockDirectory), os), m_lines(os)
{
    connect(&m_lines, &LineWatcher::changed, this, &TermiosComm::onLinesChanged);
    m_readRest.setSingleShot(true);
    connect(&m_readRest, &QTimer::timeout, this, &TermiosComm::endReadRest);
    m_relisten.setSingleShot(true);
    m_relisten.setInterval(RelistenMs);
    connect(&m_relisten, &QTimer::timeout, this, &TermiosComm::listenAgain);
}

TermiosComm::~TermiosComm()
{
    closeQuietly();
}

void TermiosComm::setCommPort(qint16 port)
{
    if (port < 1)
        throw CommError("invalid port number");
    if (PortOpen())
        throw CommError("port already open");
    m_commPort = port;
}

void TermiosComm::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = parseSettings(settings);
    if (!parsed)
        throw CommError("invalid settings string");
    m_settings = *parsed;
    m_settingsText = settings;
    if (PortOpen())
        applyFrame();
}

void TermiosComm::setPortOpen(bool open)
{
    if (!open) {
        closeQuietly();
        return;
    }
    if (PortOpen())
        throw CommError("port already open");

    const QStringList devices = orderPorts(m_source());
    if (m_commPort < 1 || m_commPort > devices.size())
        throw CommError("no such port");
    m_device = devices.at(m_commPort - 1);
    throwIfFailed(m_lock.check(m_device));
    try {
        openDevice();
    } catch (const CommError &) {
        // Another program's port: leave its lines and its queued output alone.
        closeQuietly(false);
        throw;
    }
    // The driver raised DTR and RTS on opening; some boards reset on that
    // pulse, so the boxes' state goes to the lines before anything else.
    applyLines();
    try {
        throwIfFailed(m_lock.acquire(m_device));
        applyFrame();
    } catch (...) {
        closeQuietly();
        throw;
    }
    m_decoder.reset();
    m_lines.start(m_fd);
}

void TermiosComm::openDevice()
{
    // EBUSY while another program holds the device exclusively (TIOCEXCL).
    const SysStatus opened = m_os.openDevice(QFile::encodeName(m_device));
    throwIfFailed(opened);
    m_fd = static_cast<int>(opened.value());
    ++m_session;
    m_closeQueued = false;
    m_restoreAttributes = false;
    m_exclusive = false;
    // Programs that claim a port with flock (rather than a lock file or an
    // exclusive open, which root may override) are honoured, and see ours. A
    // device that takes no flock at all (ENOLCK) is no sign of another program.
    const SysStatus flocked = m_os.claimFlock(m_fd);
    if (!flocked.ok() && flocked.error() == EWOULDBLOCK)
        throw CommError("the port is held by another program (flock)");
    // Nobody else opens it while we have it (a device that is no terminal,
    // /dev/null for one, fails here).
    throwIfFailed(m_os.claimExclusive(m_fd));
    m_exclusive = true;
    throwIfFailed(m_os.getAttributes(m_fd, &m_original));
    m_restoreAttributes = true;
    // Raw bytes both ways, no flow control, a read never waits.
    termios raw = m_original;
    ::cfmakeraw(&raw);
    raw.c_cflag |= CLOCAL | CREAD;
    raw.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    throwIfFailed(m_os.setAttributes(m_fd, raw));

    m_readNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &TermiosComm::onReadable);
    m_writeNotifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &TermiosComm::onWritable);
}

void TermiosComm::applyFrame()
{
    termios tio {};
    throwIfFailed(m_os.getAttributes(m_fd, &tio));
    setFrame(tio, m_settings);
    throwIfFailed(m_os.setAttributes(m_fd, tio));
    throwIfFailed(m_os.setSpeed(m_fd, m_settings.baudRate));

    // Some drivers accept a frame and silently keep their own: read back
    // what the driver holds and refuse to pretend.
    termios held {};
    throwIfFailed(m_os.getAttributes(m_fd, &held));
    const QString mismatch = frameMismatch(held.c_cflag, m_settings);
    if (!mismatch.isEmpty())
        throw CommError((QLatin1String("the driver did not apply the settings: ") + mismatch).toStdString());
    m_parityMarks = m_settings.parity != Parity::None && (held.c_iflag & PARMRK);
}

void TermiosComm::applyLines()
{
    if (!PortOpen())
        return;
    // One call per direction: this runs right after the open, while the
    // lines may be up against the user's wish.
    const int raise = (m_dtr ? TIOCM_DTR : 0) | (m_rts ? TIOCM_RTS : 0);
    const int drop = (TIOCM_DTR | TIOCM_RTS) & ~raise;
    for (const auto &[bits, up] : {std::pair {drop, false}, std::pair {raise, true}}) {
        if (bits == 0)
            continue;
        const SysStatus set = m_os.setModemLines(m_fd, bits, up);
        // A driver without modem lines (a pseudo-terminal) refuses: the
        // values are kept all the same. Anything else may be a device gone.
        if (!set.ok() && set.error() != ENOTTY && set.error() != EINVAL && deviceGone())
            closeSoon();
    }
}

void TermiosComm::closeQuietly(bool discardOutput)
{
    m_lines.stop();
    m_readRest.stop();
    m_relisten.stop();
    if (PortOpen()) {
        // The notifiers may be the ones whose signal is running now.
        for (QSocketNotifier *n : {m_readNotifier, m_writeNotifier}) {
            if (n) { // none yet when the open failed
                n->setEnabled(false);
                n->deleteLater();
            }
        }
        m_readNotifier = m_writeNotifier = nullptr;
        // Closing never waits for the line: a real port's driver would hold
        // close() until its queue drained (up to 30 s), and Exit stops all
        // transmission at once. If the driver refuses to discard, the close
        // below still ends our part; there is no one left to tell.
        if (discardOutput)
            static_cast<void>(m_os.discardOutput(m_fd));
        // Put back what the device had, and let others open it again (a
        // pseudo-terminal keeps the flag after our close); a device that has
        // gone keeps nothing, and there is no one left to tell.
        if (m_restoreAttributes)
            static_cast<void>(m_os.setAttributes(m_fd, m_original));
        if (m_exclusive)
            static_cast<void>(m_os.releaseExclusive(m_fd));
        // Linux frees the descriptor even when close reports an error.
        static_cast<void>(m_os.close(m_fd));
        m_fd = -1;
    }
    m_output.clear();
    m_outputDone = 0;
    m_input.clear();
    m_lock.release();
    m_closeQueued = false;
}

void TermiosComm::requireOpen(const char *what) const
{
    if (!PortOpen())
        throw CommError(std::string(what) + ": port is closed");
}

void TermiosComm::setOutput(const QString &text)
{
    requireOpen("Output");
    // toLatin1 writes '?' for every character above 255.
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty())
        return;
    if (m_outputDone > 0 && m_outputDone >= m_output.size() / 2) {
        m_output.remove(0, m_outputDone);
        m_outputDone = 0;
    }
    m_output += bytes;
    if (!m_relisten.isActive())
        m_writeNotifier->setEnabled(true);
}

QByteArray TermiosComm::InputBytes()
{
    requireOpen("Input");
    QByteArray raw = std::exchange(m_input, QByteArray());
    listenForReads(); // a full buffer stopped the reads
    if (m_parityMarks)
        raw = m_decoder.decode(raw);
    return raw;
}

qint64 TermiosComm::OutBufferCount() const
{
    return m_output.size() - m_outputDone;
}

void TermiosComm::setDTREnable(bool on)
{
    m_dtr = on;
    applyLines();
}

void TermiosComm::setRTSEnable(bool on)
{
    m_rts = on;
    applyLines();
}

bool TermiosComm::holding(int line) const
{
    requireOpen("line state");
    return m_lines.lines() & line;
}

bool TermiosComm::CDHolding() const
{
    return holding(TIOCM_CAR);
}
bool TermiosComm::CTSHolding() const
{
    return holding(TIOCM_CTS);
}
bool TermiosComm::DSRHolding() const
{
    return holding(TIOCM_DSR);
}

bool TermiosComm::deviceGone()
{
    if (!PortOpen())
        return false;
    const SysStatus gone = m_os.hungUp(m_fd);
    if (!gone.ok())
        return gone.error() != EINTR;
    return gone.value() != 0;
}

void TermiosComm::onReadable()
{
    const qint64 before = m_input.size();
    const qint64 room = ReadBlock - before;
    if (room <= 0) {
        m_readNotifier->setEnabled(false); // until InputBytes makes room
        return;
    }
    if (m_scratch.size() < ReadBlock)
        m_scratch.resize(ReadBlock);
    const SysStatus got = m_os.read(m_fd, m_scratch.data(), room);
    if (!got.ok() || got.value() == 0) {
        // Nothing after all (0: a wake-up without data, or a hung-up line).
        if (got.ok() || got.error() != EINTR)
            refused(got);
        return;
    }
    m_input.append(m_scratch.constData(), got.value());
    raiseEvent(comEvReceive);
    restReads(before + got.value());
}

void TermiosComm::onWritable()
{
    const qint64 pending = OutBufferCount();
    const SysStatus wrote
        = pending > 0 ? m_os.write(m_fd, m_output.constData() + m_outputDone, pending) : SysStatus::done();
    if (!wrote.ok()) {
        // A full kernel buffer (EAGAIN) waits for the next notification.
        if (wrote.error() != EAGAIN && wrote.error() != EINTR)
            refused(wrote);
        return;
    }
    m_outputDone += wrote.value();
    if (OutBufferCount() > 0)
        return;
    m_output.clear();
    m_outputDone = 0;
    m_writeNotifier->setEnabled(false);
    if (pending > 0)
        raiseEvent(comEvSend);
}

void TermiosComm::refused(const SysStatus &)
{
    // Only a device that has really gone ends the session; the close waits
    // for the event loop, as a handler of ours may be running.
    if (deviceGone()) {
        closeSoon();
        return;
    }
    // The driver refuses for now (EAGAIN, EIO from a device still there):
    // both notifiers rest a little and listen again.
    m_readNotifier->setEnabled(false);
    m_writeNotifier->setEnabled(false);
    m_relisten.start();
}

void TermiosComm::listenAgain()
{
    listenForReads();
    if (PortOpen() && OutBufferCount() > 0)
        m_writeNotifier->setEnabled(true);
}

void TermiosComm::closeSoon()
{
    if (m_closeQueued)
        return;
    m_closeQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this, session = m_session] {
            if (session == m_session && m_closeQueued)
                closeQuietly();
        },
        Qt::QueuedConnection);
}

void TermiosComm::listenForReads()
{
    if (PortOpen() && !m_closeQueued && !m_readRest.isActive() && !m_relisten.isActive() && m_input.size() < ReadBlock)
        m_readNotifier->setEnabled(true);
}

void TermiosComm::restReads(qint64 arrived)
{
    // Reads that follow each other within this long make one stream.
    constexpr qint64 PauseMs = 100;
    if (!m_lastRead.isValid() || m_lastRead.elapsed() > PauseMs)
        m_streamStart.start();
    m_lastRead.start();
    // The handler may have closed the port, or left the data unread.
    if (!PortOpen() || m_readRest.isActive() || !m_readNotifier->isEnabled())
        return;
    const int ms = readRestMs(arrived, m_settings.baudRate, m_streamStart.elapsed());
    if (ms <= 0)
        return;
    m_readNotifier->setEnabled(false);
    m_readRest.start(ms);
}

void TermiosComm::endReadRest()
{
    listenForReads();
}

void TermiosComm::onLinesChanged(int bits)
{
    // Each notification reads the holding properties, which now give the
    // new state; a handler may close the port in between.
    if (bits & TIOCM_CTS)
        raiseEvent(comEvCTS);
    if (PortOpen() && (bits & TIOCM_DSR))
        raiseEvent(comEvDSR);
    if (PortOpen() && (bits & TIOCM_CAR))
        raiseEvent(comEvCD);
}

} // namespace corvanel
