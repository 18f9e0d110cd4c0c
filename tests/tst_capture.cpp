// Long captures: the receive box keeps everything, with older content in a
// file, and saves it byte for byte.

#include "Bytes.h"
#include "FakeSpillFile.h"
#include "FormFixture.h"
#include "ReceiveView.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>

using namespace corvanel;

namespace {

// A store that keeps 4 KB in memory; with a full disk, it keeps everything there.
std::unique_ptr<ByteStore> smallStore(bool full)
{
    auto disk = std::make_shared<FakeDisk>();
    if (full)
        disk->failFrom = 1;
    return std::make_unique<ByteStore>(4096, fakeFiles(disk));
}

// While it exists, files of this process cannot grow past `bytes`: a write
// that crosses the limit is cut short, and the next one fails with EFBIG,
// as a write fails with ENOSPC once the disk is full.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_handler);
    }

private:
    rlimit m_saved {};
    void (*m_handler)(int) = nullptr;
};

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void editsOnBothSidesOfTheFile_data()
    {
        QTest::addColumn<bool>("diskFull");
        QTest::newRow("older content in the file") << false;
        QTest::newRow("the file refuses it: all in memory") << true;
    }

    void editsOnBothSidesOfTheFile()
    {
        QFETCH(bool, diskFull);
        ReceiveView v(nullptr, smallStore(diskFull));
        v.resize(300, 60);
        QByteArray model;
        QRandomGenerator rng(5);
        const auto arrive = [&](int n) {
            QByteArray b;
            for (int i = 0; i < n; ++i)
                b.append(char(rng.bounded(256)));
            v.appendBytes(b);
            model += b;
            return b;
        };
        arrive(40000);
        v.setCursorPosition(10); // deep in what went to the file
        QTest::keyClicks(&v, QStringLiteral("typed"));
        model.insert(10, "typed");
        const QByteArray beforeDelete = model;
        v.setCursorPosition(30000); // across the boundary
        v.setCursorPosition(38000, true);
        const qint64 from = v.selectionStart();
        QTest::keyClick(&v, Qt::Key_Delete);
        model.remove(from, 8000);
        QCOMPARE(v.cursorPosition(), from);
        QCOMPARE(v.bytes(), model);
        const QByteArray later = arrive(9000);
        QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier); // back in its place, before the arrivals
        QCOMPARE(v.bytes(), beforeDelete + later);
        v.clear(); // "Clr"
        QCOMPARE(v.length(), 0);
        model.clear();
        arrive(12000);
        QCOMPARE(v.bytes(), model);
    }

    void savesWhatWasReceived()
    {
        QTemporaryDir dir;
        ReceiveView v(nullptr, smallStore(false));
        v.appendBytes(everyByte() + "\r\n");
        QByteArray big;
        for (int i = 0; big.size() < (3 << 20); ++i)
            big += everyByte().mid(i % 256) + "\r";
        v.appendBytes(big);
        QString error;
        QVERIFY(v.saveTo(dir.filePath(QStringLiteral("log.bin")), &error));
        QFile saved(dir.filePath(QStringLiteral("log.bin")));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), everyByte() + "\r\n" + big);

        // A failed save says why through the window's message box, and leaves nothing.
        FormFixture f;
        const QString target = dir.filePath(QStringLiteral("no such folder/log.txt"));
        setFileNameHandler([&](QObject *) { return target; });
        f.comm->receive("abc");
        f.form->Text2_SaveAs();
        setFileNameHandler({});
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().startsWith(QStringLiteral("Impossibile salvare il file ") + target + u':'));
        QVERIFY(!QFile::exists(target));
    }

    // A save the file system cuts short part-way fails with the system's
    // reason (here EFBIG; a full disk's ENOSPC comes the same way), whether
    // the log is written in large pieces or small ones, and wherever it is
    // cut (Qt 6.4 passes off a file cut in its last buffered write as saved);
    // it leaves nothing behind.
    void savesCutShortSayWhy_data()
    {
        QTest::addColumn<bool>("smallPieces");
        QTest::addColumn<int>("limit");
        QTest::newRow("large pieces") << false << 100000;
        QTest::newRow("small pieces") << true << 100000;
        QTest::newRow("small pieces, cut in the last write") << true << 299000;
    }
    void savesCutShortSayWhy()
    {
        QFETCH(bool, smallPieces);
        QFETCH(int, limit);
        QTemporaryDir dir;
        ReceiveView v(nullptr, smallPieces ? smallStore(false) : nullptr);
        v.appendBytes(QByteArray(300000, 'x'));
        const QString target = dir.filePath(QStringLiteral("log.bin"));
        QString error;
        {
            FileSizeLimit cut{rlim_t(limit)};
            QVERIFY(!v.saveTo(target, &error));
        }
        QCOMPARE(error, qt_error_string(EFBIG)); // as Qt words it, in the user's language
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
