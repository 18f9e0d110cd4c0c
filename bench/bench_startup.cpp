// Start-up: from exec to the main window on screen, and resident memory one
// second later. Run under Xvfb, as a user's display:
//
//   xvfb-run -a -s "-screen 0 1024x768x24" ./build/bench_startup [runs]
//
// The parent starts the child (this program with --child) runs times; the
// child is the real program start on a pseudo-terminal of its own and
// reports when its window is exposed.

#include "BenchSupport.h"
#include "Form1.h"
#include "Program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int child(int argc, char **argv)
{
    Pty pty;
    if (!pty.isValid())
        return 1;
    QApplication app(argc, argv);
    const QString device = pty.slavePath();
    return corvanel::runProgram(
        app, [device] { return QStringList {device}; },
        [](corvanel::Form1 &form) {
            std::printf("shown\n");
            std::fflush(stdout);
            QTimer::singleShot(1000, &form, [&form] {
                std::printf("rss %lld\n", (long long)residentBytes());
                std::fflush(stdout);
                form.Command4_Click();
            });
        });
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--child")
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? atoi(argv[1]) : 10;
    std::vector<double> shownMs;
    std::vector<double> rssMB;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child")});
        double shown = -1;
        while (p.state() != QProcess::NotRunning || p.canReadLine()) {
            if (!p.canReadLine() && !p.waitForReadyRead(5000))
                break;
            while (p.canReadLine()) {
                const QByteArray line = p.readLine().trimmed();
                if (line == "shown")
                    shown = double(t.nsecsElapsed()) / 1e6;
                else if (line.startsWith("rss "))
                    rssMB.push_back(line.mid(4).toDouble() / 1048576.0);
            }
        }
        p.waitForFinished();
        if (shown >= 0)
            shownMs.push_back(shown);
    }
    if (shownMs.empty()) {
        std::printf("the window never showed (is there a display?)\n");
        return 1;
    }
    std::sort(shownMs.begin(), shownMs.end());
    std::sort(rssMB.begin(), rssMB.end());
    std::printf("start-up over %zu runs: exec to window shown median %.0f ms (min %.0f, max %.0f); "
                "resident memory 1 s later median %.1f MB\n",
                shownMs.size(), shownMs[shownMs.size() / 2], shownMs.front(), shownMs.back(),
                rssMB.empty() ? 0.0 : rssMB[rssMB.size() / 2]);
    return 0;
}
