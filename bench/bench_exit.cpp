// Exit while the send loop runs against a far end that reads nothing: what
// is still queued for the other side once the program has ended, and how
// long Exit took.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_exit
//
// The real main window and port component on a pseudo-terminal; the loop
// runs for half a second, then Exit is pressed. On a pseudo-terminal, what
// the program's side still queued ends up readable on the other side; on a
// real port the driver would hold close() until it had been sent.

#include "Controls.h"
#include "BenchSupport.h"
#include "Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    printMessages();
    Pty pty;
    auto form = windowOnPty(pty);
    Controls(*form).Text1->setPlainText(QString(100, u'x'));
    double exitMs = 0;
    QTimer::singleShot(500, form.get(), [&] {
        QElapsedTimer t;
        t.start();
        form->Command4_Click();
        exitMs = double(t.nsecsElapsed()) / 1e6;
    });
    form->Command1_Click(); // the loop; returns once Exit has ended it
    form.reset();

    qint64 left = 0;
    char buf[65536];
    for (ssize_t n; (n = ::read(pty.masterFd(), buf, sizeof buf)) > 0;)
        left += n;
    std::printf("Exit took %.1f ms; still queued for the other side after the end: %lld bytes\n", exitMs,
                (long long)left);
    pty.hangUp();
    return 0;
}
