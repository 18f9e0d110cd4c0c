// A long capture in hex mode: a writer pushes N MB (256 unless told) through
// a pseudo-terminal as fast as the real program takes it. Prints the rate for
// each quarter of the run (flat means appending costs the same however much
// the box holds), the peak resident memory of the whole process, and whether
// the box holds every value, first to last. Then it scrolls to three places
// and times the paint that follows (the rows there come back from the
// temporary file, through the page cache), and presses "Clr" and reports
// what the temporary file still holds on disk. It times frames of a drag
// of the scroll bar from top to bottom and of Page Down and Up held at the
// middle, with the file in the page cache and dropped from it, and counts
// the frames painted with rows blank because their text was still being
// fetched; then the same at a user's pace with the event loop running,
// timing every paint and each step's wait for its text, beside a fixed piece
// of arithmetic timed once a step. Slow frames are listed with what the
// thread did meanwhile. Past INT_MAX characters it also works at the end of
// the box as a user and a screen reader would, and saves the whole box and
// compares it with what was sent.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_long_capture [MB]
//   CORVANEL_SLOW_MS=8 ...   lists the paints over 8 ms rather than 16

#include "Controls.h"
#include "BenchSupport.h"
#include "FrameTiming.h"
#include "Form1.h"
#include "ReceiveView.h"
#include "MSComm.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTimer>
#include <atomic>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <ctime>
#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

using namespace corvanel;

namespace {

// A field of /proc/self/status in KB (VmHWM: peak resident, VmPTE: page tables).
qint64 statusKB(const std::string &field = "VmHWM:")
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stoll(line.substr(field.size()));
    return -1;
}

// Disk space held by the program's unlinked temporary files, in KB.
qint64 unlinkedFilesKB()
{
    qint64 kb = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        struct stat st
        {};
        if (target.endsWith(QStringLiteral("(deleted)")) && ::stat(qPrintable(fds.filePath(fd)), &st) == 0)
            kb += qint64(st.st_blocks) / 2;
    }
    return kb;
}

// Past INT_MAX characters, what a user does at the end of the box and
// what a screen reader sees; the whole box saved and compared byte for byte
// with what was sent (the file goes afterwards). True if all holds.
bool pastIntChecks(ReceiveView *box, const QByteArray &block)
{
    const qint64 n = box->length();
    QByteArray shownBlock; // the text of one block as the box shows it
    for (const char c : block)
        shownBlock += ' ' + QByteArray::number(uchar(c), 16).toUpper();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(box, Qt::Key_Home, Qt::ShiftModifier);
    box->copy();
    const QByteArray row = QApplication::clipboard()->text().toLatin1();
    bool ok = box->selectionStart() > INT_MAX && box->selectionEnd() == n && !row.isEmpty()
              && shownBlock.repeated(2).contains(row);
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(box, QStringLiteral(" ok"));
    ok = ok && box->length() == n + 3 && box->accessibleText(n, n + 3) == QStringLiteral(" ok");
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    ok = ok && box->length() == n;
    QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(box)->textInterface();
    const int count = text->characterCount();
    ok = ok && text->text(count - 3, count).toLatin1() == shownBlock.right(3) && text->cursorPosition() == count;
    std::printf("past INT_MAX: caret, selection, copy, typing and undo at the end, screen reader's window: %s\n",
                ok ? "right" : "WRONG");

    QElapsedTimer clock;
    clock.start();
    const QString path = QDir::tempPath() + QStringLiteral("/corvanel-bench-save.txt");
    QString error;
    bool saved = box->saveTo(path, &error);
    const double saveSeconds = double(clock.nsecsElapsed()) / 1e9;
    QFile file(path);
    saved = saved && file.open(QIODevice::ReadOnly) && file.size() == n;
    while (saved && !file.atEnd())
        saved = file.read(shownBlock.size()) == shownBlock;
    file.remove();
    std::printf("\"Salva con nome...\" of all %lld characters: %s in %.1f s\n", (long long)n,
                saved ? "byte for byte" : qPrintable(QStringLiteral("WRONG ") + error), saveSeconds);
    return ok && saved;
}

// Writes `total` bytes, the block over and over, as fast as they are taken.
std::thread startWriter(int fd, const QByteArray &block, qint64 total)
{
    return std::thread([fd, &block, total] {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        for (qint64 sent = 0; sent < total;) {
            const ssize_t n = ::write(fd, block.constData(), size_t(std::min<qint64>(block.size(), total - sent)));
            if (n <= 0)
                return;
            sent += n;
        }
    });
}

// Every 4099th value received, read back from wherever it now lives.
bool everyValueReadBack(const ReceiveView *box, const QByteArray &block, qint64 total)
{
    for (qint64 at = 0; at < total; at += 4099) {
        const char v = block.at(at % block.size());
        if (box->accessibleText(at * 3, at * 3 + 3).toLatin1() != " " + QByteArray::number(uchar(v), 16).toUpper())
            return false;
    }
    return true;
}

// Drops the pages of the program's unlinked temporary files from the page
// cache (written out first), so that reading them back goes to the disk.
void dropTemporaryFilesFromCache()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        if (!QFile::symLinkTarget(fds.filePath(fd)).endsWith(QStringLiteral("(deleted)")))
            continue;
        const int again = ::open(qPrintable(fds.filePath(fd)), O_RDONLY | O_CLOEXEC);
        if (again < 0)
            continue;
        ::fdatasync(again);
        ::posix_fadvise(again, 0, 0, POSIX_FADV_DONTNEED);
        ::close(again);
    }
}

// Bytes this process has had read from the disk (not the page cache).
qint64 diskReadBytes()
{
    std::ifstream io("/proc/self/io");
    std::string line;
    while (std::getline(io, line))
        if (line.rfind("read_bytes:", 0) == 0)
            return std::stoll(line.substr(11));
    return -1;
}

// Frames of a user scrolling: each step and the paint that shows it, back to
// back. The frames over 16 ms are listed with what they had read from the
// disk, the CPU time they took, and the times the thread waited or was
// preempted meanwhile.
template <typename Step>
void timeFrames(ReceiveView *box, const char *what, int count, Step step)
{
    double longest = 0;
    int over = 0;
    QByteArray slow;
    const qint64 readBefore = diskReadBytes();
    const qint64 blankBefore = box->framesWithoutText();
    for (int i = 0; i < count; ++i) {
        const qint64 read = diskReadBytes();
        const ThreadTimes before = ThreadTimes::now();
        QElapsedTimer frame;
        frame.start();
        step(i);
        box->viewport()->repaint();
        const double ms = double(frame.nsecsElapsed()) / 1e6;
        longest = std::max(longest, ms);
        over += ms > 16 ? 1 : 0;
        if (ms > 16)
            slow += " #" + QByteArray::number(i) + ", " + QByteArray::number((diskReadBytes() - read) / 1024)
                    + " KB from disk:" + describe(ms, before);
    }
    std::printf("%-52s longest frame %6.2f ms, %4.1f frames over 16 ms per 1,000; %lld KB read from disk; "
                "%lld frames with rows blank while their text was fetched\n",
                what, longest, 1000.0 * over / count, (long long)(diskReadBytes() - readBefore) / 1024,
                (long long)(box->framesWithoutText() - blankBefore));
    if (!slow.isEmpty())
        std::printf("  frames over 16 ms:%s\n", slow.constData());
}

// Runs the event loop, sleeping in it as the program would, until done() or
// the paint clock reaches `deadline` (in ns).
template <typename Done>
void runEventLoop(qint64 deadline, Done done)
{
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (qint64 left; !done() && (left = deadline - paintClock()->clock.nsecsElapsed()) > 0;) {
        wake.start(int((left + 999'999) / 1'000'000));
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// The same steps at a user's pace, `hz` a second, with the event loop
// running between them as in the program: every paint is timed (those that
// fetched text's arrival asks for too), and each step's text is waited for
// until the next step. Reports how many steps showed all their text within
// one display frame (16.7 ms) of the step and within the step, and the
// longest wait for it; and, beside it, a fixed piece of arithmetic timed
// once a step on this thread (Canary) and every 5 ms on another
// (ThreadCanary).
template <typename Step>
void timePacedFrames(ReceiveView *box, const char *what, int count, int hz, Step step)
{
    PaintClock *paints = paintClock();
    paints->reset();
    Canary canary;
    const ThreadCanary otherThread;
    paints->otherThread = &otherThread;
    const qint64 period = 1'000'000'000 / hz;
    int inFrame = 0, inStep = 0;
    qint64 longestWait = 0;
    const qint64 blankBefore = box->framesWithoutText();
    const qint64 readBefore = diskReadBytes();
    for (int i = 0; i < count; ++i) {
        const qint64 start = paints->clock.nsecsElapsed();
        step(i);
        box->viewport()->repaint();
        runEventLoop(start + period, [&] { return paints->lastWholeNs >= start; });
        if (paints->lastWholeNs >= start) {
            const qint64 wait = paints->lastWholeNs - start;
            inStep += 1;
            inFrame += wait <= 16'700'000 ? 1 : 0;
            longestWait = std::max(longestWait, wait);
        }
        canary.run();
        runEventLoop(start + period, [] { return false; });
    }
    std::printf("%-52s longest paint %6.2f ms, %4.1f paints over 16 ms per 1,000; steps with all their text "
                "within 16.7 ms %d, within the step %d, of %d; longest wait for it %.1f ms; %lld KB read from "
                "disk; %lld paints with rows blank\n",
                what, paints->longestMs, 1000.0 * paints->over / std::max(paints->paints, 1), inFrame, inStep, count,
                double(longestWait) / 1e6, (long long)(diskReadBytes() - readBefore) / 1024,
                (long long)(box->framesWithoutText() - blankBefore));
    if (!paints->slow.isEmpty())
        std::printf("  paints over %.0f ms:%s\n", paints->SlowMs, paints->slow.constData());
    canary.report();
    otherThread.report();
    paints->otherThread = nullptr;
}

void scrollChecks(ReceiveView *box)
{
    // A scroll to places not seen before, to the end of the paint that shows it.
    QScrollBar *bar = box->verticalScrollBar();
    for (int k = 1; k <= 3; ++k) {
        QElapsedTimer paint;
        paint.start();
        bar->setValue(int(qint64(bar->maximum()) * (2 * k - 1) / 6));
        box->viewport()->repaint();
        std::printf("scroll to %d/6 of the box and paint: %.2f ms\n", 2 * k - 1, double(paint.nsecsElapsed()) / 1e6);
    }
    const auto drag = [&](int i) { bar->setValue(int(qint64(bar->maximum()) * i / 999)); };
    const auto pages = [&](int i) { QTest::keyClick(box, i < 500 ? Qt::Key_PageDown : Qt::Key_PageUp); };
    timeFrames(box, "dragging the scroll bar from top to bottom", 1000, drag);
    box->setFocus();
    box->setCursorPosition(box->length() / 2);
    timeFrames(box, "Page Down 500 times at the middle, then Page Up", 1000, pages);
    dropTemporaryFilesFromCache();
    timeFrames(box, "the same drag, the file dropped from the page cache", 1000, drag);
    dropTemporaryFilesFromCache();
    box->setCursorPosition(box->length() / 3);
    timeFrames(box, "Page Down and Up at a third, the file dropped", 1000, pages);

    // At a user's pace: a drag at 60 steps a second, keys repeating 30 times
    // a second (a held key), the file dropped from the page cache first.
    std::printf("at a user's pace, the event loop running:\n");
    dropTemporaryFilesFromCache();
    timePacedFrames(box, "dragging at 60 steps/s, the file dropped", 1000, 60, drag);
    dropTemporaryFilesFromCache();
    box->setCursorPosition(box->length() / 5);
    timePacedFrames(box, "Page Down and Up at 30/s at a fifth, file dropped", 1000, 30, pages);
}

} // namespace

int main(int argc, char **argv)
{
    PaintClock app(argc, argv);
    app.clock.start();
    if (qEnvironmentVariableIsSet("CORVANEL_SLOW_MS")) // to look into paints shorter than a frame
        app.SlowMs = qEnvironmentVariable("CORVANEL_SLOW_MS").toDouble();
    printMessages();
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 256) << 20;
    Pty pty;
    auto form = windowOnPty(pty);
    form->show();
    form->Command5_Click();
    Controls(*form).Option1[1]->click();
    QCoreApplication::processEvents();
    ReceiveView *box = Controls(*form).Text2;
    app.box = box;
    app.viewport = box->viewport();

    QByteArray block(65536, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(16 + (i * 7) % 240); // two hex digits each: three characters shown
    std::thread writer = startWriter(pty.masterFd(), block, total);
    const qint64 expected = total * 3;
    QElapsedTimer clock;
    clock.start();
    qint64 lastNs = 0;
    int quarter = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 shown = box->length();
        while (quarter < 4 && shown >= expected * (quarter + 1) / 4) {
            const qint64 ns = clock.nsecsElapsed();
            std::printf("quarter %d: %6.1f MB/s of received bytes\n", quarter + 1,
                        double(expected / 4) / 3.0 / 1048576.0 / (double(ns - lastNs) / 1e9));
            lastNs = ns;
            ++quarter;
        }
        if (shown >= expected)
            QCoreApplication::exit(0);
    });
    watch.start(5);
    QApplication::exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    writer.join();

    bool complete = box->length() == expected && everyValueReadBack(box, block, total);
    std::printf("%lld MB in hex (%lld characters shown, %lld rows): %.1f MB/s; peak resident %.1f MB; box %s\n",
                (long long)(total >> 20), (long long)box->length(), (long long)box->rowCount(),
                double(total) / 1048576.0 / seconds, double(statusKB()) / 1024.0, complete ? "complete" : "INCOMPLETE");

    scrollChecks(box);
    if (box->length() > INT_MAX)
        complete = pastIntChecks(box, block) && complete;
    const qint64 spilledKB = unlinkedFilesKB();
    form->Command5_Click(); // "Clr"
    std::printf("temporary file on disk: %.1f MB; after \"Clr\": %.1f MB; page tables at the end: %.1f MB\n",
                double(spilledKB) / 1024.0, double(unlinkedFilesKB()) / 1024.0, double(statusKB("VmPTE:")) / 1024.0);
    form->Command4_Click();
    return complete ? 0 : 1;
}
