// The send loop of the real main window on the real port component, over a
// pseudo-terminal.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_send_loop [slow-seconds] [fast-seconds]
//
// Slow reader: the other side drains about 11.5 KB/s, as a 115200-baud line
// does. Reported: the most output ever queued in the component, the CPU the
// program used (a reader thread sleeps in between, so nearly all of it is
// the program's), and resident memory each second with its slope.
// Fast reader: the other side reads as fast as it can; bytes per second,
// beside a plain blocking write loop on the same kind of pseudo-terminal.

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"
#include "MSComm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace corvanel;

namespace {

// Drains the master side: `rate` bytes per second, or as fast as possible when 0.
void reader(int fd, qint64 rate, std::atomic<bool> &stop, std::atomic<qint64> &total)
{
    char buf[65536];
    QElapsedTimer t;
    t.start();
    while (!stop) {
        qint64 allowed = sizeof buf;
        if (rate > 0) {
            allowed = rate * t.elapsed() / 1000 - total;
            if (allowed <= 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            allowed = std::min<qint64>(allowed, sizeof buf);
        }
        pollfd p {fd, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0)
            continue;
        const ssize_t n = ::read(fd, buf, size_t(allowed));
        if (n > 0)
            total += n;
        else if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return;
    }
}

struct LoopRun
{
    qint64 maxQueued = 0;
    double cpu = 0;
    double seconds = 0;
    qint64 delivered = 0;
    QList<qint64> rss; // one sample a second
};

LoopRun runLoop(qint64 rate, int seconds, const QString &text)
{
    Pty pty;
    auto form = windowOnPty(pty);
    Controls(*form).Text1->setPlainText(text);

    std::atomic<bool> stop {false};
    std::atomic<qint64> total {0};
    std::thread drain(reader, pty.masterFd(), rate, std::ref(stop), std::ref(total));

    LoopRun run;
    QTimer sample;
    QObject::connect(&sample, &QTimer::timeout,
                     [&] { run.maxQueued = std::max(run.maxQueued, form->comm().OutBufferCount()); });
    sample.start(1);
    QTimer perSecond;
    QObject::connect(&perSecond, &QTimer::timeout, [&] { run.rss << residentBytes(); });
    perSecond.start(1000);
    QTimer::singleShot(seconds * 1000, [&] { Controls(*form).Command1->click(); });

    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    form->Command1_Click(); // returns after the stop click above
    run.seconds = double(wall.elapsed()) / 1000.0;
    run.cpu = cpuSeconds() - cpu0;
    run.delivered = total;
    stop = true;
    drain.join();
    form->Command4_Click();
    pty.hangUp();
    return run;
}

// The ceiling: a plain blocking write loop on the slave side.
double plainWriteRate(int seconds, qsizetype block)
{
    Pty pty;
    if (!pty.isValid())
        std::exit(1);
    const int fd = ::open(pty.slavePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    std::atomic<bool> stop {false};
    std::atomic<qint64> total {0};
    std::thread drain(reader, pty.masterFd(), 0, std::ref(stop), std::ref(total));
    const QByteArray data(block, 'p');
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) {
        if (::write(fd, data.constData(), size_t(data.size())) < 0)
            break;
    }
    const double rate = double(total) / (double(t.elapsed()) / 1000.0);
    stop = true;
    drain.join();
    ::close(fd);
    pty.hangUp();
    return rate;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    const int slowSeconds = argc > 1 ? atoi(argv[1]) : 10;
    const int fastSeconds = argc > 2 ? atoi(argv[2]) : 5;
    const QString text(100, u'x');

    const LoopRun slow = runLoop(11520, slowSeconds, text);
    std::printf("slow reader (11.5 KB/s), %.1f s, text of %lld bytes:\n", slow.seconds, (long long)text.size());
    std::printf("  most output queued: %lld bytes (limit %d + one text)\n", (long long)slow.maxQueued,
                MSComm::OutBufferSize);
    std::printf("  CPU: %.1f%% of a core\n", 100.0 * slow.cpu / slow.seconds);
    std::printf("  delivered: %.1f KB/s\n", double(slow.delivered) / 1024.0 / slow.seconds);
    if (slow.rss.size() >= 2) {
        const double slope = double(slow.rss.last() - slow.rss.first()) / double(slow.rss.size() - 1);
        const auto [lo, hi] = std::minmax_element(slow.rss.begin(), slow.rss.end());
        std::printf("  resident memory: %.1f MB at 1 s, %.1f MB at %lld s; slope %.1f KB/s; "
                    "spread of the %lld samples %.2f MB\n",
                    double(slow.rss.first()) / 1048576.0, double(slow.rss.last()) / 1048576.0,
                    (long long)slow.rss.size(), slope / 1024.0, (long long)slow.rss.size(),
                    double(*hi - *lo) / 1048576.0);
    }

    const LoopRun fast = runLoop(0, fastSeconds, text);
    const double ceiling = plainWriteRate(fastSeconds, text.size());
    std::printf("fast reader, %.1f s: loop %.2f MB/s, plain write loop %.2f MB/s (%.0f%%); CPU %.0f%%\n", fast.seconds,
                double(fast.delivered) / 1048576.0 / fast.seconds, ceiling / 1048576.0,
                100.0 * double(fast.delivered) / fast.seconds / ceiling, 100.0 * fast.cpu / fast.seconds);
    return 0;
}
