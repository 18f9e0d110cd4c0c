// The receive box under load: the cost of one 4 KB append with its repaint
// when the box already holds 1 MB and 64 MB, in each display mode, with and
// without line breaks; and the memory it holds per character.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_receive_view [max-MB]

#include "receive/DisplayFormat.h"
#include "receive/ReceiveView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <cstdio>
#include <fstream>
#include <unistd.h>

using namespace corvanel;

namespace {

// 4 KB of what a port delivers in a mode, as the dispatch would append it.
QByteArray sample(qint16 mode, bool lineBreaks, qsizetype bytes)
{
    QByteArray raw;
    raw.reserve(bytes);
    for (qsizetype i = 0; raw.size() < bytes; ++i) {
        if (lineBreaks && i % 80 == 78) {
            raw.append("\r\n");
            ++i;
        } else {
            raw.append(char(32 + i % 95));
        }
    }
    if (mode == TextMode)
        return raw;
    // Formatted values grow the text; take raw bytes so that the appended
    // text is about 4 KB all the same.
    const QByteArray formatted = *formatReceived(mode, raw.left(bytes / (mode == HexMode ? 3 : 4)));
    return formatted;
}

// Resident memory of the process, in bytes.
qint64 residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    qint64 pages = 0;
    qint64 resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

struct Result {
    double usPerAppend;
    double bytesPerChar;
};

Result measure(ReceiveView &view, QPixmap &canvas, const QByteArray &chunk, qint64 fillTo)
{
    view.clear();
    while (view.length() < fillTo)
        view.appendBytes(chunk);
    // Time appends each followed by a repaint, as a frame would do.
    constexpr int Rounds = 400;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < Rounds; ++i) {
        view.appendBytes(chunk);
        view.viewport()->render(&canvas);
    }
    const double us = double(t.nsecsElapsed()) / 1000.0 / Rounds;
    return {us, double(view.memoryUsed()) / double(view.length())};
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const qint64 bigMB = argc > 1 ? atoll(argv[1]) : 64;
    ReceiveView view;
    view.resize(297, 41); // the receive box of the main window
    view.show();
    QPixmap canvas(view.viewport()->size());

    // Memory first, measured from outside the view: resident growth while
    // it fills with hex text.
    {
        const QByteArray chunk = sample(HexMode, false, 4096);
        view.clear();
        const qint64 before = residentBytes();
        while (view.length() < (bigMB << 20))
            view.appendBytes(chunk);
        const qint64 after = residentBytes();
        std::printf("resident growth for %lld MB of hex text: %.3f bytes per character\n\n", (long long)bigMB,
                    double(after - before) / double(view.length()));
        view.clear();
    }

    std::printf("%-8s %-10s %12s %12s %8s %14s\n", "mode", "breaks", "1 MB us", "big us", "ratio", "bytes/char big");
    const char *modes[] = {"text", "hex", "decimal"};
    for (qint16 mode = 0; mode < 3; ++mode) {
        for (bool breaks : {true, false}) {
            if (mode != TextMode && breaks)
                continue; // hex and decimal never break a line
            const QByteArray chunk = sample(mode, breaks, 4096);
            const Result small = measure(view, canvas, chunk, 1 << 20);
            const Result big = measure(view, canvas, chunk, bigMB << 20);
            std::printf("%-8s %-10s %12.1f %12.1f %8.2f %14.3f\n", modes[mode], breaks ? "CR LF/80" : "none",
                        small.usPerAppend, big.usPerAppend, big.usPerAppend / small.usPerAppend, big.bytesPerChar);
        }
    }
    return 0;
}
