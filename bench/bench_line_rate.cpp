// CPU at real line speeds: data arrives in bursts every 10 ms, as a USB
// adapter delivers it, and the real main window shows it.
//
//   xvfb-run -a ./build/bench_line_rate [seconds]            # every case, median of five processes
//   xvfb-run -a ./build/bench_line_rate 10 text-1.2M         # one case
//   QT_QPA_PLATFORM=offscreen ./build/bench_line_rate
//   xvfb-run -a ./build/bench_line_rate 10 hex-1.2M --events  # also paints and timer events per second
//   xvfb-run -a ./build/bench_line_rate 10 hex-1.2M --hidden  # the window never shown: all but painting
//
// CPU is the whole process's (every thread, the accessibility bridge's
// included) less the writer thread's own, over the period, in percent of one
// core. Wake-ups are the user-interface thread's, a steadier measure than CPU
// on a busy machine. "shown" checks that the receive box holds everything
// sent.
//
// bench/line_rate_counts.sh counts user instructions (callgrind) and system
// calls (perf) over the stream alone: the bench switches both on when the
// writer starts and off when it is done.

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"
#include "DisplayFormat.h"
#include "ReceiveView.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMap>
#include <QProcess>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

using namespace corvanel;

namespace {

struct Case
{
    const char *key;
    const char *name;
    qint16 mode;
    qint64 bytesPerSecond;
};

const Case cases[] = {{"text-115200", "115200 baud (11.5 KB/s), text", 0, 11520},
                      {"text-1.2M", "1.2 MB/s, text", 0, 1200000},
                      {"hex-1.2M", "1.2 MB/s, hex", 1, 1200000}};

QByteArray textLines(qint64 n)
{
    QByteArray out;
    out.reserve(n);
    for (qint64 i = 0; out.size() < n; ++i) {
        out.append(char(33 + i % 94));
        if (i % 80 == 78)
            out.append("\r\n");
    }
    out.truncate(n);
    return out;
}

double seconds(const timeval &t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// How often the calling thread has gone to sleep and been woken.
long voluntarySwitches()
{
    rusage u {};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_nvcsw;
}

// CPU time (user and system) of the process or of the calling thread.
double cpuOf(int who)
{
    rusage u {};
    getrusage(who, &u);
    return seconds(u.ru_utime) + seconds(u.ru_stime);
}

// Under `perf stat --control fifo:CTL,ACK`, with the two named in
// CORVANEL_PERF_CTL and CORVANEL_PERF_ACK: counts only between "enable" and
// "disable", each acknowledged before the bench goes on.
void perfControl(const char *command)
{
    const QByteArray ctl = qgetenv("CORVANEL_PERF_CTL");
    const QByteArray ack = qgetenv("CORVANEL_PERF_ACK");
    if (ctl.isEmpty() || ack.isEmpty())
        return;
    const int out = ::open(ctl.constData(), O_WRONLY | O_CLOEXEC);
    const int in = ::open(ack.constData(), O_RDONLY | O_CLOEXEC);
    if (out >= 0)
        (void)!::write(out, command, std::strlen(command));
    char answer[16];
    if (in >= 0)
        (void)!::read(in, answer, sizeof answer);
    if (out >= 0)
        ::close(out);
    if (in >= 0)
        ::close(in);
}

void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// With --events: what the user-interface thread spends its time on, by
// event (inclusive of what runs inside it), per second of the run.
class TimingApp : public QApplication
{
public:
    using QApplication::QApplication;
    bool recording = false;
    struct Tally
    {
        int count = 0;
        qint64 ns = 0;
    };
    QMap<QString, Tally> tallies;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (!recording)
            return QApplication::notify(receiver, event);
        QString key;
        switch (event->type()) {
        case QEvent::SockAct:
            key = QStringLiteral("socket notifier (reads, OnComm, display)");
            break;
        case QEvent::Timer: {
            const auto *timer = qobject_cast<QTimer *>(receiver);
            key = QStringLiteral("timer: ") + QString::fromLatin1(receiver->metaObject()->className())
                  + (timer ? QStringLiteral(" every ") + QString::number(timer->interval()) : QString());
            break;
        }
        case QEvent::UpdateRequest:
            key = QStringLiteral("repaint and flush of the window");
            break;
        case QEvent::Paint:
            key = QStringLiteral("  paint: ")
                  + (receiver->objectName().isEmpty() ? QString::fromLatin1(receiver->metaObject()->className())
                                                      : receiver->objectName());
            break;
        default:
            return QApplication::notify(receiver, event);
        }
        QElapsedTimer t;
        t.start();
        const bool r = QApplication::notify(receiver, event);
        Tally &tally = tallies[key];
        ++tally.count;
        tally.ns += t.nsecsElapsed();
        return r;
    }
};

int runCase(const Case &c, int seconds, bool events, bool hidden)
{
    Pty pty;
    auto form = windowOnPty(pty);
    if (!hidden)
        form->show();
    form->Command5_Click();
    Controls(*form).Option1[size_t(c.mode)]->click();
    if (c.bytesPerSecond <= 11520) {
        // The speed the case names, chosen in the list as a user would.
        QComboBox *speed = Controls(*form).Combo2;
        const int i = speed->findText(QStringLiteral("115200"));
        speed->setCurrentIndex(i);
        Q_EMIT speed->activated(i);
    }
    idleFor(1000);

    const qint64 burst = c.bytesPerSecond / 100;
    const qint64 bursts = qint64(seconds) * 100;
    const QByteArray stream = textLines(burst * bursts);
    const qint64 expected = formatReceived(c.mode, stream)->size(); // worked out before the measured period
    double writerCpu = 0; // read once the writer has been joined
    // The writer ends the wait itself: a timer looking for it would wake the
    // program and count against it.
    QEventLoop loop;
    const int fd = pty.masterFd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    auto *timing = static_cast<TimingApp *>(QCoreApplication::instance());
    timing->recording = events;
    perfControl("enable\n");
    CALLGRIND_START_INSTRUMENTATION;
    const double cpu0 = cpuOf(RUSAGE_SELF);
    const long waits0 = voluntarySwitches(); // of the user-interface thread
    timespec start {};
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::thread writer([&] {
        const double own0 = cpuOf(RUSAGE_THREAD);
        timespec next = start;
        bool failed = false;
        for (qint64 b = 0; b < bursts && !failed; ++b) {
            next.tv_nsec += 10'000'000;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            const char *p = stream.constData() + b * burst;
            for (qint64 left = burst; left > 0 && !failed;) {
                const ssize_t w = ::write(fd, p, size_t(left));
                failed = w <= 0;
                p += std::max<ssize_t>(w, 0);
                left -= std::max<ssize_t>(w, 0);
            }
        }
        writerCpu = cpuOf(RUSAGE_THREAD) - own0;
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Until the writer is done (later than planned only if the program falls
    // behind).
    loop.exec();
    writer.join();
    CALLGRIND_STOP_INSTRUMENTATION;
    perfControl("disable\n");
    const double cpu = cpuOf(RUSAGE_SELF) - cpu0 - writerCpu;
    const long waits = voluntarySwitches() - waits0;
    timespec end {};
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double wall = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
    timing->recording = false;
    for (auto it = timing->tallies.cbegin(); it != timing->tallies.cend(); ++it)
        std::printf("  %-48s %6.1f/s  %6.2f%% of a core\n", qPrintable(it.key()), it->count / wall,
                    100.0 * double(it->ns) / 1e9 / wall);
    idleFor(200);
    Controls(*form).Text2->refreshNow();
    std::printf("%-32s CPU %5.2f%% of a core  %4.0f wake-ups/s  over %.2f s (planned %d)  shown %s  accessibility %s\n",
                c.name, 100.0 * cpu / wall, double(waits) / wall, wall, seconds,
                Controls(*form).Text2->length() == expected ? "all" : "INCOMPLETE",
                QAccessible::isActive() ? "on" : "off");
    form->Command4_Click();
    return Controls(*form).Text2->length() == expected ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    TimingApp app(argc, argv);
    printMessages();
    const QStringList args = QCoreApplication::arguments();
    const int seconds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 10;
    if (args.size() > 2) {
        for (const Case &c : cases) {
            if (args.at(2) == QLatin1String(c.key))
                return runCase(c, seconds, args.contains(QStringLiteral("--events")),
                               args.contains(QStringLiteral("--hidden")));
        }
        return 2;
    }
    std::printf("bursts every 10 ms for %d s; each line the median of five processes\n", seconds);
    for (const Case &c : cases) {
        QList<QPair<double, QByteArray>> runs;
        for (int i = 0; i < 5; ++i) {
            QProcess child;
            child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            child.start(QCoreApplication::applicationFilePath(), {QString::number(seconds), QLatin1String(c.key)});
            child.waitForFinished(-1);
            const QByteArray line = child.readAllStandardOutput();
            const qsizetype at = line.indexOf("CPU ");
            runs.append({at < 0 ? -1.0 : line.mid(at + 4, 6).trimmed().toDouble(), line});
        }
        std::sort(runs.begin(), runs.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
        std::printf("%s", runs.at(2).second.constData());
    }
    return 0;
}
