// A long capture in hex mode: a writer pushes N MB (256 unless told) through
// a pseudo-terminal as fast as the real program takes it. Prints the rate for
// each quarter of the run (flat means appending costs the same however much
// the box holds), the peak resident memory of the whole process, and whether
// the box holds every value, first to last. Then it scrolls to the middle
// and times the paint that follows (the rows there come back from the
// temporary file, through the page cache), and presses "Clr" and reports
// what the temporary file still holds on disk.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_long_capture [MB]

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"
#include "ReceiveView.h"
#include "MSComm.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QElapsedTimer>
#include <QRadioButton>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

using namespace corvanel;

namespace {

qint64 peakResidentKB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoll(line.substr(6));
    return -1;
}

// Disk space held by the program's unlinked temporary files, in KB.
qint64 unlinkedFilesKB()
{
    qint64 kb = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(fds.filePath(fd));
        struct stat st {};
        if (target.endsWith(QStringLiteral("(deleted)")) && ::stat(qPrintable(fds.filePath(fd)), &st) == 0)
            kb += qint64(st.st_blocks) / 2;
    }
    return kb;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 256) << 20;
    Pty pty;
    auto form = windowOnPty(pty);
    form->show();
    form->Command5_Click();
    Controls(*form).Option1[1]->click();
    QCoreApplication::processEvents();
    auto *box = form->findChild<ReceiveView *>(QStringLiteral("Text2"));

    QByteArray block(65536, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(16 + (i * 7) % 240); // two hex digits each: three characters shown
    std::atomic<qint64> sent {0};
    std::thread writer([&] {
        const int flags = ::fcntl(pty.masterFd(), F_GETFL);
        ::fcntl(pty.masterFd(), F_SETFL, flags & ~O_NONBLOCK);
        while (sent < total) {
            const ssize_t n = ::write(pty.masterFd(), block.constData(), size_t(std::min<qint64>(block.size(), total - sent)));
            if (n <= 0)
                return;
            sent += n;
        }
    });
    const qint64 expected = total * 3;
    QElapsedTimer clock;
    clock.start();
    qint64 lastMark = 0;
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
            lastMark = shown;
            ++quarter;
        }
        if (shown >= expected)
            QCoreApplication::exit(0);
    });
    watch.start(5);
    QApplication::exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    writer.join();
    (void)lastMark;

    // Every value, read back from wherever it now lives.
    bool complete = box->length() == expected;
    for (qint64 at = 0; complete && at < total; at += 4099) {
        const char v = block.at(at % block.size());
        const QByteArray shown = box->accessibleText(at * 3, at * 3 + 3).toLatin1();
        complete = shown == " " + QByteArray::number(uchar(v), 16).toUpper();
    }
    std::printf("%lld MB in hex (%lld characters shown, %lld rows): %.1f MB/s; peak resident %.1f MB; box %s\n",
                (long long)(total >> 20), (long long)box->length(), (long long)box->rowCount(),
                double(total) / 1048576.0 / seconds, double(peakResidentKB()) / 1024.0,
                complete ? "complete" : "INCOMPLETE");

    // A scroll to the middle, to the end of the paint that shows it.
    QScrollBar *bar = box->verticalScrollBar();
    for (int k = 1; k <= 3; ++k) {
        QElapsedTimer paint;
        paint.start();
        bar->setValue(int(qint64(bar->maximum()) * (2 * k - 1) / 6)); // places not seen before
        box->viewport()->repaint();
        std::printf("scroll to %d/6 of the box and paint: %.2f ms\n", 2 * k - 1, double(paint.nsecsElapsed()) / 1e6);
    }
    const qint64 spilledKB = unlinkedFilesKB();
    form->Command5_Click(); // "Clr"
    std::printf("temporary file on disk: %.1f MB; after \"Clr\": %.1f MB\n", double(spilledKB) / 1024.0,
                double(unlinkedFilesKB()) / 1024.0);
    form->Command4_Click();
    return complete ? 0 : 1;
}
