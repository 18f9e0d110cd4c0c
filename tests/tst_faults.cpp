// Flaky cables, pulled adapters and ports the user may not open: the real
// main window on the real component, over pseudo-terminals made here.

#include "FormFixture.h"
#include "PlantedFifo.h"
#include "Pty.h"
#include "Form1.h"
#include "Seams.h"
#include "ReceiveView.h"
#include "TermiosComm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvanel;

namespace {

// A main window whose port 1 is whatever `device` names at the time.
struct RealWindow
{
    QString device;
    QStringList messages;
    std::unique_ptr<Form1> form;
    std::unique_ptr<Controls> ui;
    int events = 0;

    explicit RealWindow(const QString &path) : device(path)
    {
        setMessageHandler([this](QObject *, const QString &text) { messages << text; });
        setSleepHandler([](qint32 ms) { QTest::qSleep(std::min(ms, 5)); });
        form = std::make_unique<Form1>(std::make_unique<TermiosComm>(
            [this] { return device.isEmpty() ? QStringList() : QStringList {device}; }, scratchLockDirectory()));
        form->setProgramEnd([] {});
        QObject::connect(&form->comm(), &MSComm::OnComm, form.get(), [this] { ++events; });
        form->Form_Load();
        ui = std::make_unique<Controls>(*form);
    }
    ~RealWindow()
    {
        form.reset();
        setMessageHandler({});
        setSleepHandler({});
    }
    // Counts notifications over a while: none means no storm.
    int eventsDuring(int ms)
    {
        const int before = events;
        pumpEvents(ms);
        return events - before;
    }
};

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hangUpWhileReceiving()
    {
        auto pty = std::make_unique<Pty>();
        RealWindow w(pty->slavePath());
        QVERIFY(w.form->comm().PortOpen());
        w.form->Command5_Click();
        pty->write("hello");
        QTRY_COMPARE(w.ui->Text2->text(), QStringLiteral("hello"));
        pty->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->comm().PortOpen(), 1000);
        QCOMPARE(w.eventsDuring(300), 0); // no error storm
        // What was shown stays; the lamps show the lines off; sending says so.
        QCOMPARE(w.ui->Text2->text(), QStringLiteral("hello"));
        QVERIFY(w.ui->Image6->isHidden() && w.ui->Image7->isHidden() && w.ui->Image9->isHidden());
        QVERIFY(w.messages.isEmpty());
        w.form->Command3_Click();
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta errata")});
    }

    void aPortComesBackWhenChosenAgain()
    {
        auto pty = std::make_unique<Pty>();
        RealWindow w(pty->slavePath());
        pty->hangUp();
        QTRY_VERIFY_WITH_TIMEOUT(!w.form->comm().PortOpen(), 1000);
        // The device is back (under a new name, as a replugged adapter may be).
        Pty again;
        w.device = again.slavePath();
        FormFixture::choose(w.ui->Combo1, QStringLiteral("1"));
        QVERIFY(w.messages.isEmpty());
        QVERIFY(w.form->comm().PortOpen());
        w.ui->Text1->setPlainText(QStringLiteral("back"));
        w.form->Command3_Click();
        QCOMPARE(again.read(4), QByteArray("back"));
        // The reopened port carries data in full (and, under the sanitizers,
        // no Qt code ran on the closed port's buffers after the hang-up).
        QByteArray all;
        for (int i = 0; i < 256 * 1024; ++i)
            all.append(char(i * 7 + i / 256));
        w.form->Command5_Click();
        again.write(all);
        QTRY_COMPARE_WITH_TIMEOUT(w.ui->Text2->length(), all.size(), 20000);
        QCOMPARE(w.ui->Text2->bytes(), all);
        // Gone for good: choosing it says so.
        w.device.clear();
        FormFixture::choose(w.ui->Combo1, QStringLiteral("1"));
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta inesistente")});
    }

    void hangUpDuringASendLoop()
    {
        auto pty = std::make_unique<Pty>();
        RealWindow w(pty->slavePath());
        w.ui->Text1->setPlainText(QStringLiteral("loop"));
        QTimer::singleShot(100, [&] { pty->hangUp(); });
        QTimer::singleShot(5000, [&] { w.ui->Command1->click(); }); // safety stop
        w.form->Command1_Click(); // returns when the loop has ended
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta errata")});
        QVERIFY(!w.form->LoopActive());
        QCOMPARE(w.ui->Command1->text(), QStringLiteral("Invia Loop"));
        QVERIFY(!w.form->comm().PortOpen());
        QCOMPARE(w.eventsDuring(300), 0);
    }

    void hangUpDuringAPacedHexSend()
    {
        auto pty = std::make_unique<Pty>();
        RealWindow w(pty->slavePath());
        QString box;
        for (int i = 0; i < 400; ++i)
            box += QStringLiteral("41 ");
        w.ui->Text1->setPlainText(box);
        w.ui->Check3->setChecked(true);
        w.ui->Text3->setText(QStringLiteral("5"));
        QTimer::singleShot(100, [&] { pty->hangUp(); });
        w.form->Command9_Click();
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta errata")});
        QVERIFY(!w.form->comm().PortOpen());
    }

    void aPortThatCannotBeOpened()
    {
        // /dev/null is a character device but no terminal: opening it as a
        // port fails, as an unusable device does.
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyUSB0"));
        QVERIFY(::symlink("/dev/null", link.toLocal8Bit().constData()) == 0);
        RealWindow w(link);
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta inesistente")});
        QVERIFY(!w.form->comm().PortOpen());
    }

    void aPortTheUserMayNotOpen()
    {
        Pty pty;
        const QByteArray path = pty.slavePath().toLocal8Bit();
        // As root, the probe drops to an ordinary user; otherwise the device
        // loses its rights for us.
        QVERIFY(::chmod(path.constData(), ::geteuid() == 0 ? 0600 : 0) == 0);
        QVERIFY(refusedToUser(pty.slavePath(), "ermission"));
    }

    // Another program has the device open exclusively (TIOCEXCL): the
    // kernel refuses a second open with EBUSY, except to root, so the probe
    // runs as an ordinary user.
    void aPortHeldExclusivelyElsewhere()
    {
        Pty pty;
        const QByteArray path = pty.slavePath().toLocal8Bit();
        QVERIFY(::chmod(path.constData(), 0666) == 0);
        const int held = ::open(path.constData(), O_RDWR | O_NOCTTY);
        QVERIFY(held >= 0 && ::ioctl(held, TIOCEXCL) == 0);
        QVERIFY(refusedToUser(pty.slavePath(), "busy"));
        ::close(held);
    }

    // A lock file of a live process: the window says the port is missing.
    void aLockedPort()
    {
        Pty pty;
        QFile lock(QDir(scratchLockDirectory()).filePath(lockNames(pty.slavePath()).constFirst()));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write("         1\n");
        lock.close();
        RealWindow w(pty.slavePath());
        lock.remove();
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta inesistente")});
        QVERIFY(!w.form->comm().PortOpen());
    }

    // A FIFO planted as the port's lock file, at start-up and at a list
    // choice: the port is refused at once and the window goes on.
    void aFifoAsLockFile()
    {
        Pty first;
        const auto lockOf
            = [](const Pty &p) { return QDir(scratchLockDirectory()).filePath(lockNames(p.slavePath()).constFirst()); };
        auto fifo = std::make_unique<PlantedFifo>(lockOf(first));
        QVERIFY(fifo->isValid());
        RealWindow w(first.slavePath());
        QCOMPARE(w.messages, QStringList {QStringLiteral("Porta inesistente")});
        QVERIFY2(!fifo->readerWaited(), "start-up opened the FIFO");
        fifo.reset();
        FormFixture::choose(w.ui->Combo2, QStringLiteral("19200"));
        QVERIFY(w.form->comm().PortOpen());

        Pty second;
        PlantedFifo another(lockOf(second));
        QVERIFY(another.isValid());
        w.device = second.slavePath();
        FormFixture::choose(w.ui->Combo2, QStringLiteral("9600"));
        QCOMPARE(w.messages.size(), 2);
        QCOMPARE(w.messages.constLast(), QStringLiteral("Porta inesistente"));
        QVERIFY2(!another.readerWaited(), "the list choice opened the FIFO");
        QVERIFY(!w.form->comm().PortOpen());
    }

private:
    // Runs the probe below on the device; true when it was refused with
    // `reason` in the error.
    static bool refusedToUser(const QString &device, const char *reason)
    {
        QProcess probe;
        probe.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--open-as-user"), device, QString::fromLatin1(reason)});
        const bool ok
            = probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0;
        if (!ok)
            qWarning("probe: %s", probe.readAllStandardError().constData());
        return ok;
    }
};

// The probe: opens a port as an ordinary user; exit 0 when it is refused
// with the expected reason in the error.
static int openAsUser(int argc, char **argv)
{
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        return 3;
    QCoreApplication app(argc, argv);
    const char *path = argv[2];
    TermiosComm comm([path] { return QStringList {QString::fromLocal8Bit(path)}; }, scratchLockDirectory());
    try {
        comm.setPortOpen(true);
    } catch (const CommError &e) {
        std::fprintf(stderr, "refused: %s\n", e.what());
        return QByteArray(e.what()).contains(argv[3]) ? 0 : 2;
    }
    std::fprintf(stderr, "opened\n");
    return 1;
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--open-as-user") == 0)
        return openAsUser(argc, argv);
    QApplication app(argc, argv);
    TestFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
