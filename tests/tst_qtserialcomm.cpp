// The real component on pseudo-terminals the test makes itself.

#include "Bytes.h"
#include "Pty.h"
#include "QtSerialComm.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
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


// Records the event codes the component raises.
struct EventLog {
    explicit EventLog(MSComm &c)
    {
        QObject::connect(&c, &MSComm::OnComm, &c, [this, &c] { codes.append(c.CommEvent()); });
    }
    QList<qint16> codes;
};

} // namespace

class TestQtSerialComm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void opensTheNthDevice()
    {
        Pty a, b;
        QVERIFY(a.isValid() && b.isValid());
        QtSerialComm comm([&] { return QStringList {b.slavePath(), a.slavePath()}; });
        const QStringList ordered = comm.portDevices();
        comm.setCommPort(2);
        comm.setSettings(QStringLiteral("9600,N,8,1"));
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());
        QCOMPARE(comm.deviceName(), ordered.at(1));
        comm.setPortOpen(false);
        QVERIFY(!comm.PortOpen());
    }

    void refusesPortsThatDoNotExist()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setCommPort(0));
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setCommPort(-3));
        comm.setCommPort(2);
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        QtSerialComm none([] { return QStringList(); });
        QVERIFY_THROWS_EXCEPTION(CommError, none.setPortOpen(true));
    }

    void aLinkToAPseudoTerminalServesAsAPort()
    {
        Pty a;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(::symlink(a.slavePath().toLocal8Bit().constData(), link.toLocal8Bit().constData()) == 0);
        QtSerialComm comm([&] { return QStringList {link}; });
        comm.setPortOpen(true);
        comm.setOutput(QStringLiteral("hi"));
        QCOMPARE(a.read(2), QByteArray("hi"));
    }

    void usbEntriesIncludeLinksToDevices()
    {
        Pty a, b;
        QTemporaryDir dir;
        auto link = [&](const QString &target, const char *name) {
            QVERIFY(::symlink(target.toLocal8Bit().constData(), dir.filePath(QLatin1String(name)).toLocal8Bit().constData()) == 0);
        };
        link(a.slavePath(), "ttyUSB10");
        link(b.slavePath(), "ttyACM0");
        link(a.slavePath(), "ttyXYZ0");                    // not a serial family we scan
        link(dir.filePath(QStringLiteral("nowhere")), "ttyUSB3"); // dangling
        QFile plain(dir.filePath(QStringLiteral("ttyUSB2")));  // a regular file
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QStringList found = orderPorts(usbSerialEntries(dir.path()));
        QCOMPARE(found, (QStringList {dir.filePath(QStringLiteral("ttyUSB10")), dir.filePath(QStringLiteral("ttyACM0"))}));
    }

    void settingsAreChecked()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setSettings(QStringLiteral("9600,X,8,1")));
        QCOMPARE(comm.Settings(), QStringLiteral("9600,N,8,1"));
        comm.setSettings(QStringLiteral("115200,n,8,1"));
        comm.setPortOpen(true);
        comm.setSettings(QStringLiteral("19200,N,8,1"));
        QCOMPARE(comm.Settings(), QStringLiteral("19200,N,8,1"));
    }

    // A pseudo-terminal keeps 8 data bits and no parity whatever it is told:
    // the component must say so instead of showing settings it does not use.
    void settingsTheDriverIgnoresAreRefused()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
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
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
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
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
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

    void reopensAfterClose()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
        for (int i = 0; i < 3; ++i) {
            comm.setPortOpen(true);
            comm.setOutput(QStringLiteral("x"));
            QCOMPARE(a.read(1), QByteArray("x"));
            comm.setPortOpen(false);
        }
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setOutput(QStringLiteral("x")));
        QVERIFY_THROWS_EXCEPTION(CommError, comm.Input());
    }

    void linesOfAPseudoTerminal()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
        QVERIFY_THROWS_EXCEPTION(CommError, comm.CTSHolding()); // closed
        comm.setDTREnable(true); // kept while closed
        comm.setPortOpen(true);
        QVERIFY(!comm.CDHolding());
        QVERIFY(!comm.CTSHolding());
        QVERIFY(!comm.DSRHolding());
        comm.setRTSEnable(true);
        QVERIFY(comm.DTREnable());
        QVERIFY(comm.RTSEnable());
    }

    void hangUpClosesThePortQuietly()
    {
        auto a = std::make_unique<Pty>();
        const QString path = a->slavePath();
        QtSerialComm comm([&] { return QStringList {path}; });
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
        QtSerialComm comm([&] { return QStringList {path}; });
        comm.setPortOpen(true);
        // More than the pseudo-terminal buffers, so that writes are pending.
        comm.setOutput(QString(200000, u'x'));
        pumpEvents(50);
        a->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 1000);
        QCOMPARE(comm.OutBufferCount(), 0);
    }

    // A full kernel buffer is no reason to give up the port: the rest goes
    // out when the other side reads.
    void fullBufferIsNotAnError()
    {
        Pty a;
        QtSerialComm comm([&] { return QStringList {a.slavePath()}; });
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

QTEST_GUILESS_MAIN(TestQtSerialComm)
#include "tst_qtserialcomm.moc"
