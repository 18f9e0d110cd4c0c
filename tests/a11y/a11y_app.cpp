// The real program on a pseudo-terminal of its own, for the end-to-end
// accessibility test: once the window is up, a writer sends the given number
// of megabytes (text, CR LF every 80 characters); when all of it shows in the
// receive box the program prints the box's length, lingers so that a screen
// reader can catch up, and ends.
//
//   corvanel-a11y-app MB [linger-ms]

#include "Form1.h"
#include "Pty.h"
#include "Program.h"
#include "ReceiveView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
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
        auto *box = form.findChild<corvanel::ReceiveView *>(QStringLiteral("Text2"));
        expected = box->length() + total;
        started = true;
        clock.start();
        writer = std::thread([&] {
            qint64 sent = 0;
            while (sent < total) {
                const ssize_t n = ::write(master, block.constData(), size_t(std::min<qint64>(block.size(), total - sent)));
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
    const int rc = corvanel::runProgram(app, [device] { return QStringList {device}; }, shown);
    if (writer.joinable()) {
        pty.hangUp(); // a writer still blocked ends here
        writer.join();
    }
    return rc;
}
