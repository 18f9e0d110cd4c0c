// A device that vanishes while data streams in: how long until the port is
// closed, and how much CPU the program uses in the second after.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_hangup

#include "BenchSupport.h"
#include "Form1.h"
#include "MSComm.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <fcntl.h>
#include <cstdio>
#include <thread>
#include <unistd.h>

using namespace corvanel;

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    Pty pty;
    auto form = windowOnPty(pty);
    form->Option1_Click(1); // hex, the heavier display

    // Stream for half a second, then pull the device.
    std::atomic<bool> stop {false};
    const int fd = pty.masterFd();
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK); // never stuck when asked to stop
    std::thread writer([fd, &stop] {
        const QByteArray block(4096, 'x');
        while (!stop) {
            if (::write(fd, block.constData(), size_t(block.size())) < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    stop = true;
    writer.join();
    pty.hangUp();
    QElapsedTimer closing;
    closing.start();
    while (form->comm().PortOpen() && closing.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double closedMs = double(closing.nsecsElapsed()) / 1e6;

    // A plain event loop for a second (the timed processEvents would spin).
    const double cpu0 = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    QEventLoop second;
    QTimer::singleShot(1000, &second, &QEventLoop::quit);
    second.exec();
    const double cpu = cpuSeconds() - cpu0;
    std::printf("port closed %.0f ms after the hang-up (%s); CPU in the next second: %.1f%% of a core\n", closedMs,
                form->comm().PortOpen() ? "still open!" : "closed", 100.0 * cpu / (double(idle.elapsed()) / 1000.0));
    form->Command4_Click();
    return form->comm().PortOpen() ? 1 : 0;
}
