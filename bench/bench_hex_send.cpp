// "Invia HEX" with the pause off on a 64 KB send box, through the real main
// window and port component to a pseudo-terminal whose other side reads all
// it can.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_hex_send

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"
#include "MSComm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <atomic>
#include <cstdio>
#include <poll.h>
#include <thread>
#include <unistd.h>

using namespace corvanel;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    Pty pty;
    auto form = windowOnPty(pty);

    QString box;
    for (int i = 0; box.size() < 65536; ++i)
        box += QStringLiteral("%1 ").arg(i % 256, 2, 16, QLatin1Char('0')).toUpper();
    box.truncate(65536);
    const qint64 expected = (box.size() + 2) / 3;
    Controls(*form).Text1->setPlainText(box);

    std::atomic<qint64> got {0};
    std::atomic<qint64> doneNs {0};
    std::atomic<bool> stop {false};
    QElapsedTimer t;
    std::thread reader([&] {
        char buf[65536];
        while (!stop) {
            pollfd p {pty.masterFd(), POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                const ssize_t n = ::read(pty.masterFd(), buf, sizeof buf);
                if (n > 0 && (got += n) >= expected && doneNs == 0)
                    doneNs = t.nsecsElapsed(); // the last byte is on the other side
            }
        }
    });

    t.start();
    form->Command9_Click(); // queues every byte: one write each
    const double queuedMs = double(t.nsecsElapsed()) / 1e6;
    while (doneNs == 0 && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // the port's line poll wakes it
    const double doneMs = double(doneNs) / 1e6;
    stop = true;
    reader.join();
    std::printf("hex send of a %lld-character box: %lld bytes, one write each; handler %.0f ms, on the wire after "
                "%.0f ms: %.0f KB/s\n",
                (long long)box.size(), (long long)got.load(), queuedMs, doneMs,
                double(got) / 1024.0 / (doneMs / 1000.0));
    form->Command4_Click();
    pty.hangUp();
    return got == expected ? 0 : 1;
}
