// Long captures: the receive box keeps everything, with older content in a
// file, and saves it byte for byte.

#include "Bytes.h"
#include "FakeSpillFile.h"
#include "FormFixture.h"
#include "ReceiveView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QScrollBar>
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

// Lines of the pattern over and over until the box holds more than INT_MAX
// characters, then `last`.
void fillPastInt(ReceiveView &v, const QByteArray &pattern, const QByteArray &last)
{
    v.resize(600, 200);
    const QByteArray block = pattern.repeated(128);
    while (v.length() <= qint64(INT_MAX))
        v.appendBytes(block);
    v.appendBytes(last);
    v.refreshNow();
}

// A screen reader's window holds the newest text and the caret, wherever it is.
void checkScreenReaderWindow(ReceiveView &v, const QByteArray &pattern, const QByteArray &last)
{
    const qint64 n = v.length();
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(&v)->textInterface();
    for (const qint64 caret : {n, qint64(0), n / 128 * 64}) {
        v.setCursorPosition(caret);
        const int count = text->characterCount();
        QVERIFY(count > 0);
        QCOMPARE(text->text(count - int(last.size()), count), QString::fromLatin1(last));
        QCOMPARE(v.accessibleWindow().position(text->cursorPosition()), caret);
        QCOMPARE(text->text(text->cursorPosition(), text->cursorPosition() + 4),
                 caret == n ? QString() : QString::fromLatin1(pattern.mid(caret % pattern.size(), 4)));
    }
    text->setCursorPosition(text->characterCount() - 4);
    QCOMPARE(v.cursorPosition(), n - 4);
}

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
            FileSizeLimit cut {rlim_t(limit)};
            QVERIFY(!v.saveTo(target, &error));
        }
        QCOMPARE(error, qt_error_string(EFBIG)); // as Qt words it, in the user's language
        QVERIFY(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));
    }

    // More characters than an int counts, through a store whose file keeps
    // nothing: 1000 numbered lines of 64 characters, over and over.
    void pastTwoToTheThirtyOneCharacters()
    {
        auto disk = std::make_shared<PatternDisk>();
        for (int line = 0; line < 1000; ++line)
            disk->pattern += QByteArray::number(line).rightJustified(4, '0') + QByteArray(58, '.') + "\r\n";
        ReceiveView v(nullptr, std::make_unique<ByteStore>(ByteStore::DefaultWindow, patternFiles(disk)));
        const QByteArray last = "END OF CAPTURE";
        fillPastInt(v, disk->pattern, last);
        const qint64 n = v.length();
        QCOMPARE(disk->mismatches, 0);
        QVERIFY(v.followsEnd() && v.firstRow() > 0);

        // Scrolling to the start and back to the end.
        QScrollBar *bar = v.verticalScrollBar();
        bar->setValue(0);
        QCOMPARE(v.offsetAt(QPoint(1, 1)), 0);
        bar->setValue(bar->maximum());
        QVERIFY(v.followsEnd());
        QCOMPARE(v.rowAt(v.offsetAt(QPoint(1, 1))), v.firstRow());
        // The caret at the end, and the last line selected and copied.
        QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(v.firstRow(), 0);
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.cursorPosition(), n);
        QVERIFY(v.followsEnd());
        QTest::keyClick(&v, Qt::Key_Home, Qt::ShiftModifier);
        QCOMPARE(v.selectionStart(), n - last.size());
        v.copy();
        QCOMPARE(QApplication::clipboard()->text(), QString::fromLatin1(last));
        // The line before, from a row of its own.
        QTest::keyClick(&v, Qt::Key_Up);
        QTest::keyClick(&v, Qt::Key_Home);
        QTest::keyClick(&v, Qt::Key_End, Qt::ShiftModifier);
        QVERIFY(v.selectionStart() > qint64(INT_MAX));
        const QByteArray before = disk->pattern.mid(disk->pattern.size() - 64, 62);
        QCOMPARE(v.selectedText().toLatin1(), before);

        // Typing near the end, and undoing it.
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(&v, QStringLiteral(" ok"));
        QCOMPARE(v.length(), n + 3);
        QCOMPARE(v.accessibleText(n - last.size(), n + 3), QString::fromLatin1(last + " ok"));
        QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(v.length(), n);
        QCOMPARE(v.accessibleText(n - 64 - last.size(), n), QString::fromLatin1(disk->pattern.right(64) + last));

        checkScreenReaderWindow(v, disk->pattern, last);
        // "Clr" gives the file's space back.
        v.clear();
        QCOMPARE(v.length(), 0);
        QCOMPARE(disk->size, 0);
        v.appendBytes("again");
        QCOMPARE(v.bytes(), QByteArray("again"));
    }

    // So many rows that the caret's place on screen, far above the end,
    // is more pixels than an int holds: moving it by pages still goes by rows.
    void aCaretFarAboveTheView()
    {
        auto disk = std::make_shared<PatternDisk>();
        disk->pattern = QByteArray(1 << 16, '\n');
        ReceiveView v(nullptr, std::make_unique<ByteStore>(ByteStore::DefaultWindow, patternFiles(disk)));
        v.resize(300, 100);
        const QByteArray block = disk->pattern.repeated(128);
        while (v.length() < 300'000'000)
            v.appendBytes(block);
        v.refreshNow();
        QVERIFY(v.followsEnd() && v.cursorPosition() == 0);
        QVERIFY(v.caretRect(0).bottom() < 0);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QVERIFY2(v.cursorPosition() > 0 && v.cursorPosition() < 100, qPrintable(QString::number(v.cursorPosition())));
        const qint64 caretRow = v.rowAt(v.cursorPosition());
        QVERIFY(v.firstRow() <= caretRow && caretRow < v.firstRow() + 10); // scrolled up to it
    }

    // Rows whose text would have to wait for the disk are not read while
    // painting: they stay blank, are asked for, and are painted when they are
    // in. What is saved and copied meanwhile is the real text.
    void aPaintDoesNotWaitForTheDisk()
    {
        auto disk = std::make_shared<FakeDisk>();
        ReceiveView v(nullptr, std::make_unique<ByteStore>(4096, fakeFiles(disk)));
        ReceiveView same; // all in memory
        QByteArray all;
        for (int i = 0; all.size() < 3 << 20; ++i)
            all += "row " + QByteArray::number(i) + (i % 3 ? "\n" : " and a longer one, wrapped\n");
        for (ReceiveView *box : {&v, &same}) {
            box->resize(300, 200);
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box));
        }
        for (ReceiveView *box : {&v, &same}) { // nothing painted until the disk is slow
            box->appendBytes(all);
            box->refreshNow();
            box->scrollToRow(box->rowCount() / 3);
        }
        disk->reads = 0;
        disk->slow = true;
        const qint64 blank = v.framesWithoutText();
        v.viewport()->repaint();
        QCOMPARE(disk->reads, 0);
        QCOMPARE(v.framesWithoutText(), blank + 1);
        QVERIFY(!disk->fetches.empty());
        const QString path = QDir::temp().filePath(QStringLiteral("corvanel-tst-wait.txt"));
        QString error;
        QVERIFY(v.saveTo(path, &error)); // reads that wait still do
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll() == all);
        saved.remove();
        disk->reads = 0;
        disk->arrive();
        QTRY_VERIFY(disk->reads > 0); // painted again, from the real text
        QCOMPARE(v.framesWithoutText(), blank + 1);
        QCOMPARE(v.viewport()->grab().toImage(), same.viewport()->grab().toImage());
        v.setCursorPosition(v.rowRange(v.firstRow()).first);
        v.setCursorPosition(v.rowRange(v.firstRow() + 3).second, true);
        v.copy();
        same.setCursorPosition(v.selectionStart());
        same.setCursorPosition(v.selectionEnd(), true);
        QCOMPARE(QApplication::clipboard()->text(), same.selectedText());
        QVERIFY(v.bytes() == all);

        // A screen across two blocks of the file, one of them at hand: its
        // rows are painted now, the others' when they are in, and a caret in
        // those is neither painted nor looked for while it blinks.
        const qint64 edge = v.length() / 2048 * 1024; // where one block ends, mid-text
        const qint64 edgeRow = v.rowAt(edge);
        for (ReceiveView *box : {&v, &same}) {
            box->scrollToRow(edgeRow - 4);
            box->setCursorPosition(v.rowRange(edgeRow + 2).first + 3);
        }
        v.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&v));
        v.setFocus();
        QVERIFY(v.hasFocus());
        v.viewport()->repaint(); // lays the rows out
        const int edgeTop = v.caretRect(v.rowRange(edgeRow).first).top();
        for (qint64 far = 0; far < 8 * 1024; far += 1024)
            v.accessibleText(far, far + 1); // eight other blocks in the cache
        v.accessibleText(edge - 1, edge); // and the upper one back
        disk->reads = 0;
        disk->slow = true;
        QApplication::setCursorFlashTime(60);
        QTest::qWait(200);
        QCOMPARE(disk->reads, 0);
        const QImage part = v.viewport()->grab().toImage();
        const QImage whole = same.viewport()->grab().toImage();
        QVERIFY(edgeTop > 0 && edgeTop < part.height());
        QCOMPARE(part.copy(0, 0, part.width(), edgeTop), whole.copy(0, 0, whole.width(), edgeTop));
        QImage blankPart(part.width(), part.height() - edgeTop, part.format());
        blankPart.fill(v.palette().color(QPalette::Base));
        QCOMPARE(part.copy(0, edgeTop, part.width(), part.height() - edgeTop), blankPart);
        QApplication::setCursorFlashTime(0); // shown, still
        v.setCursorPosition(v.rowRange(edgeRow).first); // the end of a row painted, the start of one blank
        v.viewport()->repaint();
        QCOMPARE(v.viewport()->grab().toImage().copy(0, edgeTop, part.width(), part.height() - edgeTop), blankPart);
        QApplication::setCursorFlashTime(1000);
        v.clearFocus();
        disk->arrive();
        QTRY_COMPARE(v.viewport()->grab().toImage(), same.viewport()->grab().toImage());
    }

    // A window in two stretches reads as one text, the seam included.
    void anAccessibleWindowOfTwoStretches()
    {
        ReceiveView v(nullptr, {}, {INT_MAX, 800});
        QByteArray all;
        for (int i = 0; all.size() < 10000; ++i)
            all += QByteArray::number(i) + ' ';
        v.appendBytes(all);
        v.setCursorPosition(3000);
        QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(&v)->textInterface();
        const OffsetWindow w = v.accessibleWindow();
        QVERIFY(text->characterCount() <= 800 && w.seam() < w.size());
        QVERIFY(w.headStart() <= 3000 && 3000 < w.headStart() + w.seam() && w.tailStart() > 3000);
        QCOMPARE(v.accessibleWindow().position(text->cursorPosition()), 3000);
        const int seam = int(w.seam());
        QCOMPARE(text->text(seam - 3, seam + 3).toLatin1(),
                 all.mid(w.headStart() + seam - 3, 3) + all.mid(w.tailStart(), 3));
        QCOMPARE(text->text(text->characterCount() - 5, text->characterCount()).toLatin1(), all.right(5));
    }

    // The scroll bar counts in int: past its limit a step stands for several
    // rows, and its ends for the first and the last page.
    void aScrollBarStepOfManyRows()
    {
        ReceiveView v(nullptr, {}, {1000, OffsetWindow::IntLimit});
        v.resize(300, 100);
        QByteArray lines;
        for (int i = 0; i < 20000; ++i)
            lines += QByteArray::number(i) + "\n";
        v.appendBytes(lines);
        v.refreshNow();
        QScrollBar *bar = v.verticalScrollBar();
        QVERIFY(bar->maximum() <= 1000 && bar->maximum() > 900);
        const qint64 lastFirst = v.firstRow();
        QVERIFY(v.followsEnd() && lastFirst > 19000);
        bar->setValue(bar->maximum() / 2);
        const qint64 middle = v.firstRow();
        QVERIFY(std::abs(middle - lastFirst / 2) <= lastFirst / 1000 + 1);
        const QString top = QString::number(middle) + u'\n';
        QCOMPARE(v.accessibleText(v.offsetAt(QPoint(1, 1)), v.offsetAt(QPoint(1, 1)) + top.size()), top);
        // The caret moved by keys scrolls by rows, not steps.
        v.setCursorPosition(v.rowRange(middle + 1).first);
        QTest::keyClick(&v, Qt::Key_Up);
        QTest::keyClick(&v, Qt::Key_Up);
        QCOMPARE(v.firstRow(), middle - 1);
        bar->setValue(bar->maximum());
        QCOMPARE(v.firstRow(), lastFirst);
        bar->setValue(0);
        QCOMPARE(v.firstRow(), 0);
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
