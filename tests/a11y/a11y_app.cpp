// The real program on a pseudo-terminal of its own, for the end-to-end
// accessibility test: once the window is up, a writer sends the given number
// of megabytes (text, CR LF every 80 characters); when all of it shows in the
// receive box the program prints the box's length, lingers so that a screen
// reader can catch up, and ends.
//
//   corvanel-a11y-app MB [linger-ms]
//
// With --control it waits for commands, one a line on standard input:
//   line TEXT           the device sends TEXT and CR LF
//   stream CPS SECONDS  the device sends numbered lines, CPS characters a second
//   click NAME          clicks the window's button (or option) NAME
//   quit
// and prints "ready" once the window is up, and "stream ended HH:MM:SS.ffffff"
// (the time of day, as a screen reader's log gives it) after the last byte.

#include "Controls.h"
#include "Form1.h"
#include "Pty.h"
#include "Program.h"
#include "ReceiveView.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTime>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace {

// Numbered lines, CPS characters a second in steps of 10 ms, as a device at
// that line speed sends them; then says when it ended.
void stream(int fd, int cps, int seconds)
{
    const auto start = std::chrono::steady_clock::now();
    QByteArray pending;
    qint64 sent = 0;
    const qint64 total = qint64(cps) * seconds;
    for (int n = 1; sent < total; ++n) {
        pending
            += QByteArrayLiteral("GPS riga ") + QByteArray::number(n) + QByteArrayLiteral(" lat 45.46 lon 9.19\r\n");
        while (!pending.isEmpty() && sent < total) {
            const auto due = start + std::chrono::milliseconds(sent * 1000 / cps);
            std::this_thread::sleep_until(due);
            const qint64 step = std::min<qint64>({qint64(pending.size()), std::max(1, cps / 100), total - sent});
            if (::write(fd, pending.constData(), size_t(step)) != step)
                return;
            pending.remove(0, step);
            sent += step;
        }
    }
    std::printf("stream ended %s\n", qPrintable(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz000"))));
    std::fflush(stdout);
}

int controlled(QApplication &app, Pty &pty)
{
    const QString device = pty.slavePath();
    const int master = pty.masterFd();
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) & ~O_NONBLOCK);
    std::setvbuf(stdin, nullptr, _IONBF, 0); // each command read alone, the rest left for the notifier
    std::thread writer;
    QSocketNotifier input(0, QSocketNotifier::Read);
    const auto shown = [&](corvanel::Form1 &form) {
        std::printf("ready\n");
        std::fflush(stdout);
        QObject::connect(&input, &QSocketNotifier::activated, &form, [&] {
            char buf[512];
            if (!std::fgets(buf, sizeof buf, stdin))
                return QCoreApplication::exit(0);
            const QStringList words = QString::fromLocal8Bit(buf).trimmed().split(u' ');
            const QString command = words.value(0);
            const QString rest = words.mid(1).join(u' ');
            if (command == u"line") {
                const QByteArray bytes = rest.toLatin1() + "\r\n";
                if (::write(master, bytes.constData(), size_t(bytes.size())) != bytes.size())
                    std::printf("write failed\n");
            } else if (command == u"stream" && !writer.joinable()) {
                writer = std::thread(stream, master, words.value(1).toInt(), words.value(2).toInt());
            } else if (command == u"click") {
                if (auto *b = form.findChild<QAbstractButton *>(rest))
                    b->click();
            } else if (command == u"quit") {
                QCoreApplication::exit(0);
            }
        });
    };
    const int rc = corvanel::runProgram(
        app, [device] { return QStringList {device}; }, shown);
    if (writer.joinable())
        writer.join();
    return rc;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--control") == 0) {
        Pty pty;
        return pty.isValid() ? controlled(app, pty) : 2;
    }
    const qint64 total = (argc > 1 ? std::atoll(argv[1]) : 4) * 1024 * 1024;
    const int lingerMs = argc > 2 ? std::atoi(argv[2]) : 2000;

    Pty pty;
    if (!pty.isValid())
        return 2;
    const int master = pty.masterFd();
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) & ~O_NONBLOCK); // the writer thread blocks
    const QString device = pty.slavePath();

    QByteArray block;
    for (int line = 0; block.size() < 65536; ++line) {
        for (int i = 0; i < 78; ++i)
            block.append(char(33 + (line + i) % 94));
        block.append("\r\n");
    }
    std::thread writer;
    std::atomic<bool> started {false};
    QTimer watch;
    QElapsedTimer clock;
    qint64 expected = -1;
    const auto shown = [&](corvanel::Form1 &form) {
        corvanel::ReceiveView *box = Controls(form).Text2;
        expected = box->length() + total;
        started = true;
        clock.start();
        writer = std::thread([&] {
            qint64 sent = 0;
            while (sent < total) {
                const ssize_t n
                    = ::write(master, block.constData(), size_t(std::min<qint64>(block.size(), total - sent)));
                if (n <= 0)
                    return;
                sent += n;
            }
        });
        QObject::connect(&watch, &QTimer::timeout, &form, [&, box] {
            if (box->length() < expected)
                return;
            watch.stop();
            const double seconds = double(clock.nsecsElapsed()) / 1e9;
            std::printf("received %lld of %lld in %.3f s: %.1f MB/s\n", static_cast<long long>(box->length()),
                        static_cast<long long>(expected), seconds, double(total) / 1048576.0 / seconds);
            std::fflush(stdout);
            QTimer::singleShot(lingerMs, &app, [] { QCoreApplication::exit(0); });
        });
        watch.start(20);
    };
    QTimer::singleShot(120000, &app, [] {
        std::printf("timed out\n");
        QCoreApplication::exit(3);
    });
    const int rc = corvanel::runProgram(
        app, [device] { return QStringList {device}; }, shown);
    if (writer.joinable()) {
        pty.hangUp(); // a writer still blocked ends here
        writer.join();
    }
    return rc;
}
