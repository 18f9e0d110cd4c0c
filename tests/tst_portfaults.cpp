// The real component on a pseudo-terminal, with the operating system's
// answers the machine would give only by bad luck: refused reads, a lock
// directory that cannot be written, a driver that will not discard.

#include "FaultyOs.h"
#include "Pty.h"
#include "TermiosComm.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>

using namespace corvanel;

class TestPortFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A refused read (once, or for good) while the device is still there
    // loses nothing and never spins; one from a device that has gone closes
    // the port once, quietly.
    void refusedReads_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("gone");
        QTest::newRow("EAGAIN once") << EAGAIN << 1 << false;
        QTest::newRow("EIO once, device there") << EIO << 1 << false;
        QTest::newRow("EAGAIN for good") << EAGAIN << -1 << false;
        QTest::newRow("EIO, device gone") << EIO << -1 << true;
    }
    void refusedReads()
    {
        QFETCH(int, error);
        QFETCH(int, times);
        QFETCH(bool, gone);
        Pty pty;
        FaultyOs os;
        TermiosComm comm([&] { return QStringList {pty.slavePath()}; }, scratchLockDirectory(), os);
        QList<qint16> events;
        connect(&comm, &MSComm::OnComm, this, [&] { events << comm.CommEvent(); });
        comm.setPortOpen(true);
        os.fail(FaultyOs::Read, error, times);
        os.gone = gone;
        pty.write("mid-read");
        if (times == 1) {
            QTRY_VERIFY(events.contains(comEvReceive));
            QCOMPARE(comm.InputBytes(), QByteArray("mid-read"));
            QVERIFY(comm.PortOpen());
            return;
        }
        if (gone)
            QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 1000);
        const int reads = os.uses(FaultyOs::Read);
        pumpEvents(200);
        QVERIFY2(os.uses(FaultyOs::Read) - reads < 40, "the refused reads spin");
        QVERIFY(events.isEmpty());
        QCOMPARE(comm.PortOpen(), !gone);
    }

    // Where no lock can be written the port opens all the same, unlocked.
    void aLockDirectoryThatCannotBeWritten()
    {
        Pty pty;
        FaultyOs os;
        QTemporaryDir locks;
        TermiosComm comm([&] { return QStringList {pty.slavePath()}; }, locks.path(), os);
        os.fail(FaultyOs::WriteNewFile, EACCES);
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());
        QVERIFY(os.uses(FaultyOs::WriteNewFile) > 0);
        QVERIFY(QDir(locks.path()).isEmpty());
        comm.setOutput(QStringLiteral("ok"));
        QCOMPARE(pty.read(2), QByteArray("ok"));
    }

    // A driver that refuses to discard its queue at close: the close still
    // ends the session (descriptor, queue, lock) and the port opens again.
    void tcflushFailingAtClose()
    {
        Pty pty;
        FaultyOs os;
        QTemporaryDir locks;
        TermiosComm comm([&] { return QStringList {pty.slavePath()}; }, locks.path(), os);
        comm.setPortOpen(true);
        comm.setOutput(QString(200000, u'x'));
        pumpEvents(50);
        QVERIFY(comm.OutBufferCount() > 0);
        os.fail(FaultyOs::DiscardOutput, EIO, 1);
        comm.setPortOpen(false);
        QCOMPARE(os.uses(FaultyOs::DiscardOutput), 1);
        QCOMPARE(os.uses(FaultyOs::Close), 1);
        QVERIFY(!comm.PortOpen());
        QCOMPARE(comm.OutBufferCount(), 0);
        QVERIFY(QDir(locks.path()).isEmpty());
        pty.drain(100);
        comm.setPortOpen(true);
        comm.setOutput(QStringLiteral("again"));
        QCOMPARE(pty.read(5), QByteArray("again"));
    }
};

QTEST_GUILESS_MAIN(TestPortFaults)
#include "tst_portfaults.moc"
