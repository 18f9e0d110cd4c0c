// The real component on pseudo-terminals the test makes itself.

#include "Bytes.h"
#include "FaultyOs.h"
#include "Pty.h"
#include "TermiosComm.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace corvanel;

namespace {

QString allCodes()
{
    QString s;
    for (int v = 0; v < 256; ++v)
        s.append(QChar(char16_t(v)));
    return s;
}

// Modem lines set by the test, and a wait that blocks until the test
// announces a change (or the waiting thread is signalled, as the real one).
struct FakeLines
{
    std::atomic<int> bits {0};
    std::atomic<bool> readFails {false};
    int wake[2] = {-1, -1};
    FaultyOs os;
    FakeLines()
    {
        QVERIFY(::pipe(wake) == 0);
        os.modemLinesHook
            = [this](int) { return readFails ? SysStatus::failed(EIO, "TIOCMGET") : SysStatus::done(bits); };
        os.waitLinesHook = [this](int, int) {
            pollfd p {wake[0], POLLIN, 0};
            if (::poll(&p, 1, -1) < 0)
                return SysStatus::failed(errno, "poll"); // EINTR
            char c = 0;
            return ::read(wake[0], &c, 1) == 1 ? SysStatus::done() : SysStatus::failed(EIO, "read");
        };
    }
    ~FakeLines()
    {
        ::close(wake[0]);
        ::close(wake[1]);
    }
    void change(int now)
    {
        bits = now;
        const char c = 1;
        QVERIFY(::write(wake[1], &c, 1) == 1);
    }
};

// Records the event codes the component raises.
struct EventLog
{
    explicit EventLog(MSComm &c)
    {
        QObject::connect(&c, &MSComm::OnComm, &c, [this, &c] { codes.append(c.CommEvent()); });
    }
    QList<qint16> codes;
};

} // namespace

class TestTermiosComm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensTheNthDevice()
    {
        Pty a, b;
        QVERIFY(a.isValid() && b.isValid());
        TermiosComm comm([&] { return QStringList {b.slavePath(), a.slavePath()}; }, scratchLockDirectory());
        const QStringList ordered = comm.portDevices();
        comm.setCommPort(2);
        comm.setSettings(QStringLiteral("9600,N,8,1"));
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());
        Pty &second = ordered.at(1) == a.slavePath() ? a : b;
        comm.setOutput(QStringLiteral("n"));
        QCOMPARE(second.read(1), QByteArray("n"));
        comm.setPortOpen(false);
        QVERIFY(!comm.PortOpen());
    }

    void refusesPortsThatDoNotExist()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setCommPort(0));
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setCommPort(-3));
        comm.setCommPort(2);
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        TermiosComm none([] { return QStringList(); }, scratchLockDirectory());
        QVERIFY_THROWS_EXCEPTION(CommError, none.setPortOpen(true));
    }

    void aLinkToAPseudoTerminalServesAsAPort()
    {
        Pty a;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(::symlink(a.slavePath().toLocal8Bit().constData(), link.toLocal8Bit().constData()) == 0);
        TermiosComm comm([&] { return QStringList {link}; }, scratchLockDirectory());
        comm.setPortOpen(true);
        comm.setOutput(QStringLiteral("hi"));
        QCOMPARE(a.read(2), QByteArray("hi"));
    }

    void usbEntriesIncludeLinksToDevices()
    {
        Pty a, b;
        QTemporaryDir dir;
        auto link = [&](const QString &target, const char *name) {
            QVERIFY(
                ::symlink(target.toLocal8Bit().constData(), dir.filePath(QLatin1String(name)).toLocal8Bit().constData())
                == 0);
        };
        link(a.slavePath(), "ttyUSB10");
        link(b.slavePath(), "ttyACM0");
        link(a.slavePath(), "ttyXYZ0"); // not a serial family we scan
        link(dir.filePath(QStringLiteral("nowhere")), "ttyUSB3"); // dangling
        QFile plain(dir.filePath(QStringLiteral("ttyUSB2"))); // a regular file
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QStringList found = orderPorts(usbSerialEntries(dir.path()));
        QCOMPARE(found,
                 (QStringList {dir.filePath(QStringLiteral("ttyUSB10")), dir.filePath(QStringLiteral("ttyACM0"))}));
    }

    void settingsAreChecked()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(QStringLiteral("9600,X,8,1")));
        QCOMPARE(comm.Settings(), QStringLiteral("9600,N,8,1"));
        comm.setSettings(QStringLiteral("115200,n,8,1"));
        comm.setPortOpen(true);
        comm.setSettings(QStringLiteral("19200,N,8,1"));
        QCOMPARE(comm.Settings(), QStringLiteral("19200,N,8,1"));
        comm.setSettings(QStringLiteral("28800,N,8,1")); // a rate termios has no constant for
        QCOMPARE(comm.Settings(), QStringLiteral("28800,N,8,1"));
    }

    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told:
    // the component must say so instead of showing settings it does not use.
    void settingsTheDriverIgnoresAreRefused()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        comm.setPortOpen(true);
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(QStringLiteral("9600,E,8,1")));
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(QStringLiteral("9600,N,7,1")));
        comm.setPortOpen(false);
        comm.setSettings(QStringLiteral("9600,N,7,1")); // accepted while closed...
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true)); // ...refused on opening
        QVERIFY(!comm.PortOpen());
    }

    void bytesGoOutOneToOne()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        EventLog log(comm);
        comm.setPortOpen(true);
        comm.setOutput(allCodes());
        QCOMPARE(a.read(256), everyByte());
        QTRY_VERIFY(log.codes.contains(comEvSend));
        // A character above 255 goes out as '?'.
        comm.setOutput(QStringLiteral("a\u20ACb"));
        QCOMPARE(a.read(3), QByteArray("a?b"));
    }

    void bytesComeInOneToOne()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        QString got;
        connect(&comm, &MSComm::OnComm, this, [&] {
            if (comm.CommEvent() == comEvReceive)
                got += comm.Input();
        });
        comm.setPortOpen(true);
        a.write(everyByte());
        QTRY_COMPARE(got.size(), 256);
        QCOMPARE(got, allCodes());
    }

    // A device's answer is read as it comes. A slow stream's trickle is
    // gathered: once reads have kept coming for a quarter of a second, the
    // device rests unread for a moment after each read of under 1 KB, and what
    // came meanwhile follows whole. Seen from outside: the test's own
    // descriptor on the device tells when bytes wait in the driver, and
    // FaultyOs counts the component's reads while the event loop turns.
    void slowStreamsAreReadInGatheredReads()
    {
        Pty a;
        FaultyOs os;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory(), os);
        const int look = ::open(QFile::encodeName(a.slavePath()).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(look >= 0);
        const auto waiting = [look] {
            int n = 0;
            return ::ioctl(look, FIONREAD, &n) == 0 ? n : -1;
        };
        QByteArray got, sent;
        connect(&comm, &MSComm::OnComm, this, [&] {
            if (comm.CommEvent() == comEvReceive)
                got += comm.InputBytes();
        });
        comm.setSettings(QStringLiteral("115200,N,8,1"));
        comm.setPortOpen(true);
        // Sends, and returns once the bytes wait in the driver whole (the
        // component reads only while the event loop turns).
        const auto send = [&](const QByteArray &bytes) {
            const int before = waiting();
            sent += bytes;
            a.write(bytes);
            QElapsedTimer t;
            t.start();
            while (waiting() < before + bytes.size() && t.elapsed() < 5000)
                QThread::usleep(200);
        };
        // Sends, then lets the event loop turn a few times: whether the
        // component read at once.
        const auto readAtOnce = [&](const QByteArray &bytes) {
            const int reads = os.uses(FaultyOs::Read);
            send(bytes);
            for (int i = 0; i < 3; ++i)
                QCoreApplication::processEvents();
            return os.uses(FaultyOs::Read) > reads;
        };
        QElapsedTimer clock;
        clock.start();
        QVERIFY(readAtOnce("OK\r\n"));
        QVERIFY(readAtOnce("OK\r\n")); // no rest after the answer

        bool rested = false;
        while (!rested && clock.elapsed() < 10000) {
            QTest::qWait(10);
            rested = !readAtOnce(QByteArray(20, '.'));
        }
        QVERIFY2(rested, "a trickle is never gathered");
        QVERIFY(clock.elapsed() >= 250); // the stream's first quarter second is read as it comes
        QTRY_COMPARE(got, sent);

        // A read of 1 KB or more is followed by no rest.
        send(QByteArray(3000, 'z'));
        QTRY_COMPARE(got, sent);
        QVERIFY(readAtOnce("."));
        // A rest does not outlast its session: the next one reads at once.
        comm.setPortOpen(false);
        comm.setPortOpen(true);
        QVERIFY(readAtOnce("."));
        QCOMPARE(got, sent);
        ::close(look);
    }

    void reopensAfterClose()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        for (int i = 0; i < 3; ++i) {
            comm.setPortOpen(true);
            comm.setOutput(QStringLiteral("x"));
            QCOMPARE(a.read(1), QByteArray("x"));
            comm.setPortOpen(false);
        }
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setOutput(QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(CommError, comm.Input());
    }

    // While open nobody else may open the device; after the close anyone may.
    void exclusiveWhileOpen()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        const int look = ::open(QFile::encodeName(a.slavePath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(look >= 0);
        int exclusive = -1;
        comm.setPortOpen(true);
        QVERIFY(::ioctl(look, TIOCGEXCL, &exclusive) == 0);
        QCOMPARE(exclusive, 1);
        comm.setPortOpen(false);
        QVERIFY(::ioctl(look, TIOCGEXCL, &exclusive) == 0);
        QCOMPARE(exclusive, 0);
        ::close(look);
    }

    void linesOfAPseudoTerminal()
    {
        Pty a;
        FaultyOs os;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory(), os);
        QVERIFY_THROWS_EXCEPTION(CommError, comm.CTSHolding()); // closed
        comm.setDTREnable(true); // kept while closed
        comm.setPortOpen(true);
        QVERIFY(!comm.CDHolding());
        QVERIFY(!comm.CTSHolding());
        QVERIFY(!comm.DSRHolding());
        comm.setRTSEnable(true);
        QVERIFY(comm.DTREnable());
        QVERIFY(comm.RTSEnable());
        // The driver has no modem lines: they are neither asked for again
        // nor waited for.
        const int asked = os.uses(FaultyOs::ModemLines);
        pumpEvents(100);
        QCOMPARE(os.uses(FaultyOs::ModemLines), asked);
        QCOMPARE(os.uses(FaultyOs::WaitLines), 0);
    }

    // Where the driver can wait for a line change, a thread waits; a change
    // is reported on the owner's thread, a failed reading is no change, and
    // stopping ends the wait.
    void linesAreWaitedFor()
    {
        FakeLines f;
        f.bits = TIOCM_CTS;
        LineWatcher w(f.os);
        QSignalSpy spy(&w, &LineWatcher::changed);
        w.start(0);
        QCOMPARE(w.lines(), TIOCM_CTS);
        QTRY_COMPARE(f.os.uses(FaultyOs::WaitLines), 1);
        f.change(TIOCM_CTS | TIOCM_CAR | TIOCM_RNG);
        QTRY_COMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), TIOCM_CAR);
        QCOMPARE(w.lines(), TIOCM_CTS | TIOCM_CAR);
        f.readFails = true;
        f.change(0);
        pumpEvents(150);
        QCOMPARE(spy.size(), 1);
        QCOMPARE(w.lines(), TIOCM_CTS | TIOCM_CAR);
        w.stop(); // the thread is blocked in its wait
        const int reads = f.os.uses(FaultyOs::ModemLines);
        f.readFails = false;
        pumpEvents(100);
        QCOMPARE(f.os.uses(FaultyOs::ModemLines), reads); // nothing reads the lines any more
        w.start(0);
        QCOMPARE(w.lines(), 0);
        w.stop();
    }

    // A refused TIOCMIWAIT: the wait is not tried again, and changes that
    // wake nobody are seen by polling.
    void linesOfADriverThatCannotWaitArePolled()
    {
        FakeLines f;
        f.os.fail(FaultyOs::WaitLines, ENOTTY);
        LineWatcher w(f.os);
        QSignalSpy spy(&w, &LineWatcher::changed);
        w.start(0);
        pumpEvents(100); // past the reading that follows the start
        for (const int bits : {TIOCM_DSR, TIOCM_DSR | TIOCM_CTS}) {
            const qsizetype seen = spy.size();
            f.bits = bits;
            QTRY_COMPARE(spy.size(), seen + 1);
        }
        QCOMPARE(spy.at(1).at(0).toInt(), TIOCM_CTS);
        QCOMPARE(f.os.uses(FaultyOs::WaitLines), 1);
    }

    void hangUpClosesThePortQuietly()
    {
        auto a = std::make_unique<Pty>();
        const QString path = a->slavePath();
        TermiosComm comm([&] { return QStringList {path}; }, scratchLockDirectory());
        EventLog log(comm);
        comm.setPortOpen(true);
        a->write("before");
        QTRY_VERIFY(log.codes.contains(comEvReceive));
        a->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 1000);
        const qsizetype events = log.codes.size();
        pumpEvents(200);
        QCOMPARE(log.codes.size(), events); // no storm of notifications
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setOutput(QStringLiteral("x")));
    }

    void hangUpWhileSending()
    {
        auto a = std::make_unique<Pty>();
        const QString path = a->slavePath();
        TermiosComm comm([&] { return QStringList {path}; }, scratchLockDirectory());
        comm.setPortOpen(true);
        // More than the pseudo-terminal buffers, so that writes are pending.
        comm.setOutput(QString(200000, u'x'));
        pumpEvents(50);
        a->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 1000);
        QCOMPARE(comm.OutBufferCount(), 0);
    }

    // Closing never waits for the line: what is queued for output is
    // discarded, and nothing of it follows a reopen. On a pseudo-terminal
    // only what the other side's line discipline took in before the close
    // (at most its 4 KB, as bytes already on the wire) still reaches it.
    void closingDiscardsQueuedOutput()
    {
        Pty a;
        auto comm = std::make_unique<TermiosComm>([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        const auto fill = [&] {
            comm->setPortOpen(true);
            comm->setOutput(QString(200000, u'x'));
            pumpEvents(50);
            QVERIFY(comm->OutBufferCount() > 0);
        };
        fill();
        comm->setPortOpen(false);
        QVERIFY(a.drain(100).size() <= 4096);
        comm->setPortOpen(true);
        comm->setOutput(QStringLiteral("new"));
        QCOMPARE(a.read(3), QByteArray("new"));
        comm->setPortOpen(false);
        fill();
        comm.reset(); // the program ends
        QVERIFY(a.drain(100).size() <= 4096);
    }

    // A full kernel buffer is no reason to give up the port: the rest goes
    // out when the other side reads.
    void fullBufferIsNotAnError()
    {
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        comm.setPortOpen(true);
        const QByteArray big(300000, 'q');
        comm.setOutput(QString::fromLatin1(big));
        pumpEvents(100); // the other side reads nothing yet
        QVERIFY(comm.PortOpen());
        QVERIFY(comm.OutBufferCount() > 0);
        QCOMPARE(a.read(big.size(), 10000), big);
        QVERIFY(comm.PortOpen());
    }
};

QTEST_GUILESS_MAIN(TestTermiosComm)
#include "tst_termioscomm.moc"
