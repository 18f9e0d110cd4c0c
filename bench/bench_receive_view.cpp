// The receive box under load: the cost of one 4 KB append with its repaint
// when the box already holds 1 MB and 64 MB, in each display mode, with and
// without line breaks; and the memory it holds per character.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_receive_view [max-MB]
//
// Each figure comes from a process of its own.

#include "BenchSupport.h"
#include "DisplayFormat.h"
#include "ReceiveView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define CORVANEL_CALLGRIND 1
#endif

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

struct Result
{
    double usPerAppend;
    double bytesPerChar;
};

Result measure(ReceiveView &view, QPixmap &canvas, const QByteArray &chunk, qint64 fillTo)
{
    view.clear();
    while (view.length() < fillTo)
        view.appendBytes(chunk);
    // Time appends each followed by a repaint, as a frame would do: the
    // median of nine batches, so that a stray interruption does not count.
    constexpr int Rounds = 500;
    std::vector<double> batches;
#ifdef CORVANEL_CALLGRIND
    CALLGRIND_START_INSTRUMENTATION;
#endif
    for (int b = 0; b < 9; ++b) {
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < Rounds; ++i) {
            view.appendBytes(chunk);
            view.refreshNow();
            view.viewport()->render(&canvas);
        }
        batches.push_back(double(t.nsecsElapsed()) / 1000.0 / Rounds);
    }
#ifdef CORVANEL_CALLGRIND
    CALLGRIND_STOP_INSTRUMENTATION;
#endif
    std::sort(batches.begin(), batches.end());
    const double us = batches[batches.size() / 2];
    return {us, double(view.memoryUsed()) / double(view.length())};
}

} // namespace

// One measurement in a fresh process, so that every case starts from the
// same cold memory (a case run after a larger one would reuse its freed pages).
int measureOne(qint16 mode, bool breaks, qint64 fillMB)
{
    ReceiveView view;
    view.resize(297, 41); // the receive box of the main window
    view.show();
    QPixmap canvas(view.viewport()->size());
    const Result r = measure(view, canvas, sample(mode, breaks, 4096), fillMB << 20);
    std::printf("%.2f %.4f\n", r.usPerAppend, r.bytesPerChar);
    return 0;
}

Result runOnce(const QString &self, qint16 mode, bool breaks, qint64 fillMB)
{
    QProcess child;
    child.start(
        self, {QStringLiteral("--one"), QString::number(mode), QString::number(int(breaks)), QString::number(fillMB)});
    child.waitForFinished(-1);
    const QList<QByteArray> fields = child.readAllStandardOutput().trimmed().split(' ');
    if (fields.size() != 2)
        return {0, 0};
    return {fields.at(0).toDouble(), fields.at(1).toDouble()};
}

// This machine's timings vary from process to process: the median of five.
Result runChild(const QString &self, qint16 mode, bool breaks, qint64 fillMB)
{
    std::vector<Result> runs;
    for (int i = 0; i < 5; ++i)
        runs.push_back(runOnce(self, mode, breaks, fillMB));
    std::sort(runs.begin(), runs.end(), [](const Result &a, const Result &b) { return a.usPerAppend < b.usPerAppend; });
    return runs[runs.size() / 2];
}

constexpr int TimedAppends = 9 * 500;

// Instructions per timed append, counted by callgrind: repeatable whatever
// else the machine is doing. Zero when valgrind is missing.
double instructionsPerAppend(const QString &self, qint16 mode, bool breaks, qint64 fillMB)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("cg.out"));
    QProcess child;
    child.start(QStringLiteral("valgrind"),
                {QStringLiteral("--tool=callgrind"), QStringLiteral("--instr-atstart=no"),
                 QStringLiteral("--callgrind-out-file=") + out, self, QStringLiteral("--one"), QString::number(mode),
                 QString::number(int(breaks)), QString::number(fillMB)});
    if (!child.waitForFinished(-1) || child.exitCode() != 0)
        return 0;
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    double total = 0;
    while (!f.atEnd()) {
        const QByteArray line = f.readLine().trimmed();
        if (line.startsWith("summary:") || line.startsWith("totals:"))
            total = std::max(total, line.mid(line.indexOf(':') + 1).trimmed().toDouble());
    }
    return total / TimedAppends;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("--one"))
        return measureOne(qint16(args.at(2).toInt()), args.at(3).toInt() != 0, args.at(4).toLongLong());
    const bool instructions = args.contains(QStringLiteral("--instructions"));
    if (instructions) {
        std::printf("%-8s %-10s %14s %14s %8s\n", "mode", "breaks", "1 MB instr", "16 MB instr", "ratio");
        const char *names[] = {"text", "hex", "decimal"};
        for (qint16 mode = 0; mode < 3; ++mode) {
            for (bool breaks : {true, false}) {
                if (mode != TextMode && breaks)
                    continue;
                const double small = instructionsPerAppend(QCoreApplication::applicationFilePath(), mode, breaks, 1);
                const double big = instructionsPerAppend(QCoreApplication::applicationFilePath(), mode, breaks, 16);
                std::printf("%-8s %-10s %14.0f %14.0f %8.3f\n", names[mode], breaks ? "CR LF/80" : "none", small, big,
                            small > 0 ? big / small : 0.0);
            }
        }
        return 0;
    }
    const qint64 bigMB = args.size() > 1 ? args.at(1).toLongLong() : 64;
    const QString self = QCoreApplication::applicationFilePath();

    // Memory, measured from outside the view: resident growth while it fills
    // with hex text.
    {
        ReceiveView view;
        view.resize(297, 41);
        const QByteArray chunk = sample(HexMode, false, 4096);
        const qint64 before = residentBytes();
        while (view.length() < (bigMB << 20))
            view.appendBytes(chunk);
        const qint64 after = residentBytes();
        std::printf("resident growth for %lld MB of hex text: %.3f bytes per character\n\n", (long long)bigMB,
                    double(after - before) / double(view.length()));
    }

    std::printf("%-8s %-10s %12s %12s %8s %14s\n", "mode", "breaks", "1 MB us", "big us", "ratio", "bytes/char big");
    const char *modes[] = {"text", "hex", "decimal"};
    for (qint16 mode = 0; mode < 3; ++mode) {
        for (bool breaks : {true, false}) {
            if (mode != TextMode && breaks)
                continue; // hex and decimal never break a line
            const Result small = runChild(self, mode, breaks, 1);
            const Result big = runChild(self, mode, breaks, bigMB);
            std::printf("%-8s %-10s %12.1f %12.1f %8.2f %14.3f\n", modes[mode], breaks ? "CR LF/80" : "none",
                        small.usPerAppend, big.usPerAppend, big.usPerAppend / small.usPerAppend, big.bytesPerChar);
        }
    }
    return 0;
}
