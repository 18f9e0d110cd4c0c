// Lock files in the shared lock directory, with the real component on
// pseudo-terminals the test makes itself: whose they are, and what another
// user may leave there.

#include "FaultyOs.h"
#include "PlantedFifo.h"
#include "Pty.h"
#include "TermiosComm.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace corvanel;

class TestPortLock : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lockFileContents_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("pid");
        QTest::newRow("padded, as lockdev writes it") << QByteArray("      4321\n") << qint64(4321);
        QTest::newRow("bare") << QByteArray("4321") << qint64(4321);
        QTest::newRow("further lines (QLockFile)") << QByteArray("4321\ncorvanel\nhost\n") << qint64(4321);
        QTest::newRow("empty") << QByteArray() << qint64(0);
        QTest::newRow("text") << QByteArray("pid 4321\n") << qint64(0);
        QTest::newRow("zero") << QByteArray("0\n") << qint64(0);
        QTest::newRow("negative") << QByteArray("-4321\n") << qint64(0);
        QTest::newRow("blank first line") << QByteArray("\n4321\n") << qint64(0);
        QTest::newRow("binary") << QByteArray("\xe1\x10\0\0", 4) << qint64(0);
    }
    void lockFileContents()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, pid);
        QCOMPARE(lockPid(content).value_or(0), pid);
    }

    // A device reached through a link is locked under the name of the device
    // behind it first; a path that cannot be resolved keeps its own name.
    void lockNamesOfALink_data()
    {
        QTest::addColumn<bool>("resolves");
        QTest::newRow("resolved") << true;
        QTest::newRow("realpath refused") << false;
    }
    void lockNamesOfALink()
    {
        QFETCH(bool, resolves);
        Pty a;
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(::symlink(QFile::encodeName(a.slavePath()).constData(), QFile::encodeName(link).constData()) == 0);
        FaultyOs os;
        QStringList expected {QStringLiteral("LCK..ttyUSB0")};
        if (resolves)
            expected.prepend(QStringLiteral("LCK..") + a.slavePath().mid(5).replace(u'/', u'_'));
        else
            os.fail(FaultyOs::CanonicalPath, ENOMEM);
        QCOMPARE(lockNames(link, os), expected);
        QCOMPARE(os.uses(FaultyOs::CanonicalPath), 1);
    }

    // Lock files of live processes refuse the port as a missing one; stale
    // ones do not; while open the port carries this program's lock, gone
    // again after every close.
    void portsOtherProgramsHoldAreRefused()
    {
        QTemporaryDir locks;
        auto a = std::make_unique<Pty>();
        const QString path = a->slavePath();
        TermiosComm comm([&] { return QStringList {path}; }, locks.path());
        const QString lock = locks.filePath(lockNames(path).constFirst());
        QCOMPARE(lock, locks.filePath(QStringLiteral("LCK..") + path.mid(5).replace(u'/', u'_')));
        const auto holder = [&](const QByteArray &content, qint64 ageSecs = 0) {
            QFile f(lock);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
            f.flush();
            f.setFileTime(QDateTime::currentDateTime().addSecs(-ageSecs), QFileDevice::FileModificationTime);
        };
        const QByteArray own = QByteArray::number(qint64(::getpid())).rightJustified(10, ' ') + '\n';

        holder("         1\n"); // a live process
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        holder("garbled"); // perhaps being written
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        holder("garbled", 60); // left behind long ago
        comm.setPortOpen(true);
        comm.setPortOpen(false);
        QVERIFY(!QFile::exists(lock));
        holder(" 999999999\n"); // a process that has ended
        comm.setPortOpen(true);
        QFile mine(lock);
        QVERIFY(mine.open(QIODevice::ReadOnly));
        QCOMPARE(mine.readAll(), own);
        a->hangUp();
        QTRY_VERIFY(!comm.PortOpen());
        QVERIFY(!QFile::exists(lock));

        // A device claimed with flock, as some terminal programs do.
        Pty b;
        TermiosComm other([&] { return QStringList {b.slavePath()}; }, locks.path());
        const int held = ::open(b.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
        QVERIFY(held >= 0 && ::flock(held, LOCK_EX | LOCK_NB) == 0);
        QVERIFY_THROWS_EXCEPTION(CommError, other.setPortOpen(true));
        ::close(held);
        other.setPortOpen(true);
        QVERIFY(other.PortOpen());
    }

    // Whatever another user leaves in the lock directory under the port's
    // name that is not a regular file holds the port: it is refused at once,
    // and nothing there is opened (a FIFO would hold the program for good, a
    // link could lead anywhere). Once it is gone the port opens.
    void lockFilesThatAreNotFilesHoldThePort_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("socket") << QStringLiteral("socket");
        QTest::newRow("link to a stale lock") << QStringLiteral("link");
        QTest::newRow("link to a device") << QStringLiteral("device");
    }
    void lockFilesThatAreNotFilesHoldThePort()
    {
        QFETCH(QString, kind);
        QTemporaryDir locks;
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, locks.path());
        const QString lock = locks.filePath(lockNames(a.slavePath()).constFirst());
        const QByteArray lockName = QFile::encodeName(lock);
        std::unique_ptr<PlantedFifo> fifo;
        int socketFd = -1;
        if (kind == QLatin1String("fifo")) {
            fifo = std::make_unique<PlantedFifo>(lock);
            QVERIFY(fifo->isValid());
        } else if (kind == QLatin1String("socket")) {
            socketFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            sockaddr_un addr {};
            addr.sun_family = AF_UNIX;
            std::strncpy(addr.sun_path, lockName.constData(), sizeof addr.sun_path - 1);
            QVERIFY(::bind(socketFd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0);
        } else {
            QFile stale(locks.filePath(QStringLiteral("stale")));
            QVERIFY(stale.open(QIODevice::WriteOnly));
            stale.write(" 999999999\n");
            stale.close();
            const QByteArray target = kind == QLatin1String("link") ? QFile::encodeName(stale.fileName()) : "/dev/null";
            QVERIFY(::symlink(target.constData(), lockName.constData()) == 0);
        }
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        QVERIFY(!comm.PortOpen());
        if (fifo)
            QVERIFY2(!fifo->readerWaited(), "the FIFO was opened");
        fifo.reset();
        if (socketFd >= 0)
            ::close(socketFd);
        ::unlink(lockName.constData());
        comm.setPortOpen(true);
        QVERIFY(comm.PortOpen());
    }

    // QSerialPort reads its own lock file (QLockFile) with a plain open before
    // it opens the device: that file is looked at first, the same way.
    void qtsOwnLockFileIsLookedAtFirst()
    {
        Pty a;
        const QString qtLock = serialPortLockFile(a.slavePath());
        {
            QSerialPort port(a.slavePath());
            QVERIFY(port.open(QIODevice::ReadWrite));
            QVERIFY2(QFileInfo(qtLock).isFile(), qPrintable(qtLock)); // where QSerialPort really put it
        }
        QVERIFY(!QFile::exists(qtLock));
        PlantedFifo fifo(qtLock);
        if (!fifo.isValid())
            QSKIP("QSerialPort's lock directory cannot be written here");
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, scratchLockDirectory());
        QVERIFY_THROWS_EXCEPTION(CommError, comm.setPortOpen(true));
        QVERIFY2(!fifo.readerWaited(), "the FIFO was opened");
    }

    // The lock is first written under a new name of its own: a link planted
    // where a temporary file could go is never written through.
    void plantedLinksAreNeverWrittenThrough()
    {
        QTemporaryDir locks;
        QTemporaryDir elsewhere;
        QFile precious(elsewhere.filePath(QStringLiteral("precious")));
        QVERIFY(precious.open(QIODevice::WriteOnly));
        precious.write("precious data");
        precious.close();
        // The name a temporary lock file of this process would have had.
        const QByteArray link = QFile::encodeName(locks.filePath(QStringLiteral("LTMP.%1").arg(::getpid())));
        QVERIFY(::symlink(QFile::encodeName(precious.fileName()).constData(), link.constData()) == 0);
        Pty a;
        TermiosComm comm([&] { return QStringList {a.slavePath()}; }, locks.path());
        comm.setPortOpen(true);
        QVERIFY(precious.open(QIODevice::ReadOnly));
        QCOMPARE(precious.readAll(), QByteArray("precious data"));
        precious.close();
        const QString lock = locks.filePath(lockNames(a.slavePath()).constFirst());
        QVERIFY(QFileInfo(lock).isFile() && !QFileInfo(lock).isSymLink());
        comm.setPortOpen(false);
        QVERIFY(!QFile::exists(lock));
        // Only the planted link is left behind.
        QCOMPARE(QDir(locks.path()).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 QStringList {QFileInfo(QFile::decodeName(link)).fileName()});
    }
};

QTEST_GUILESS_MAIN(TestPortLock)
#include "tst_portlock.moc"
