// The program with its port open and nothing happening: CPU and wake-ups.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_idle [seconds] [--no-caret]
//   xvfb-run -a ./build/bench_idle [seconds]
//
// The real main window on a pseudo-terminal as port 1, shown, left alone
// with the focus in the send box, whose caret blinks (--no-caret: on the
// Exit button).
// CPU (getrusage of the whole process) and wake-ups (voluntary context
// switches of every thread) are measured over the first period after start-up
// and again once the caret has stopped blinking; then the system calls of
// every thread over a third period with `strace -c -f -p PID`.

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One line of strace's summary: calls and errors of one system call.
struct Syscall
{
    QByteArray name;
    qint64 calls = 0;
    qint64 errors = 0;
};

QList<Syscall> parseSummary(const QByteArray &text)
{
    QList<Syscall> out;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // % time, seconds, usecs/call, calls, [errors,] syscall
        if (f.size() < 5 || f.at(0).startsWith('%') || f.at(0).startsWith('-') || f.last() == "total")
            continue;
        bool ok = false;
        Syscall s;
        s.calls = f.at(3).toLongLong(&ok);
        if (!ok)
            continue;
        s.name = f.last();
        if (f.size() == 6)
            s.errors = f.at(4).toLongLong();
        out.append(s);
    }
    return out;
}

// Times any thread of this process went to sleep and was woken: the
// voluntary context switches of every thread.
qint64 wakeups()
{
    qint64 total = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks) {
        QFile status(QStringLiteral("/proc/self/task/%1/status").arg(task));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                total += line.mid(24).trimmed().toLongLong();
        }
    }
    return total;
}

bool isWait(const QByteArray &name)
{
    static const QList<QByteArray> waits
        = {"poll", "ppoll", "select", "pselect6", "epoll_wait", "epoll_pwait", "nanosleep", "clock_nanosleep", "futex"};
    return waits.contains(name);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    const QStringList args = QCoreApplication::arguments();
    const int seconds = args.size() > 1 ? std::max(1, args.at(1).toInt()) : 10;
    Pty pty;
    auto form = windowOnPty(pty);
    form->show();
    if (args.contains(QStringLiteral("--no-caret")))
        Controls(*form).Command4->setFocus();
    idleFor(1000); // let the window settle

    // Right after the last input, then once the caret has come to rest.
    struct Period
    {
        double cpu;
        double wakeups;
    };
    const auto measure = [&] {
        const double cpu0 = cpuSeconds();
        const qint64 woken0 = wakeups();
        idleFor(seconds * 1000);
        return Period {100.0 * (cpuSeconds() - cpu0) / seconds, double(wakeups() - woken0) / seconds};
    };
    const Period fresh = measure();
    idleFor(std::max(0, corvanel::Form1::CaretRestMs - seconds * 1000));
    const Period rested = measure();

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("strace.txt"));
    QProcess strace;
    strace.start(QStringLiteral("strace"), {QStringLiteral("-c"), QStringLiteral("-f"), QStringLiteral("-o"), out,
                                            QStringLiteral("-p"), QString::number(::getpid())});
    if (!strace.waitForStarted()) {
        std::printf("strace did not start\n");
        return 1;
    }
    idleFor(500); // attached
    idleFor(seconds * 1000);
    ::kill(static_cast<pid_t>(strace.processId()), SIGINT);
    while (strace.state() != QProcess::NotRunning)
        idleFor(20);

    QFile f(out);
    if (!f.open(QIODevice::ReadOnly)) {
        std::printf("no strace summary\n");
        return 1;
    }
    const QList<Syscall> calls = parseSummary(f.readAll());
    qint64 total = 0, waits = 0, errors = 0;
    std::printf("port open on %s, idle, focus %s; %d s per measurement\n", qPrintable(pty.slavePath()),
                Controls(*form).Command4->hasFocus() ? "on Exit" : "in the send box", seconds);
    std::printf("first %d s: CPU %.3f%% of a core, %.1f wake-ups/s (voluntary context switches, all threads)\n",
                seconds, fresh.cpu, fresh.wakeups);
    std::printf("after the caret rests: CPU %.3f%% of a core, %.1f wake-ups/s; system calls then:\n", rested.cpu,
                rested.wakeups);
    for (const Syscall &s : calls) {
        total += s.calls;
        errors += s.errors;
        if (isWait(s.name))
            waits += s.calls;
        std::printf("  %-18s %7lld calls %6lld errors\n", s.name.constData(), (long long)s.calls, (long long)s.errors);
    }
    std::printf("system calls: %lld (%.1f/s), %lld failing; waits (poll, futex, sleeps): %lld (%.1f/s)\n",
                (long long)total, double(total) / seconds, (long long)errors, (long long)waits,
                double(waits) / seconds);
    form->Command4_Click();
    return 0;
}
