// What a screen reader's queries cost at the end of a large receive box:
// each query's median over 2000 calls, for boxes of 1, 16 and 64 MB.
//
//   QT_QPA_PLATFORM=offscreen ./build/bench_a11y_queries

#include "ReceiveView.h"

#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace corvanel;

namespace {

double medianMicros(const std::function<void()> &query)
{
    std::vector<double> t;
    for (int i = 0; i < 2000; ++i) {
        QElapsedTimer clock;
        clock.start();
        query();
        t.push_back(double(clock.nsecsElapsed()) / 1000.0);
    }
    std::nth_element(t.begin(), t.begin() + t.size() / 2, t.end());
    return t[t.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QByteArray block;
    for (int line = 0; block.size() < 65536; ++line) {
        for (int i = 0; i < 78; ++i)
            block.append(char(33 + (line + i) % 94));
        block.append(line % 3 ? " " : "\r\n");
    }
    std::printf("median of 2000 calls at the end of the box, in microseconds\n");
    std::printf("%-34s %10s %10s %10s\n", "query", "1 MB", "16 MB", "64 MB");
    struct Row
    {
        const char *name;
        std::function<void(QAccessibleTextInterface *, int)> call;
        double us[3];
    };
    std::vector<Row> rows = {
        {"line at offset",
         [](QAccessibleTextInterface *a, int o) {
             int s, e;
             a->textAtOffset(o, QAccessible::LineBoundary, &s, &e);
         },
         {}},
        {"line before offset",
         [](QAccessibleTextInterface *a, int o) {
             int s, e;
             a->textBeforeOffset(o, QAccessible::LineBoundary, &s, &e);
         },
         {}},
        {"word at offset",
         [](QAccessibleTextInterface *a, int o) {
             int s, e;
             a->textAtOffset(o, QAccessible::WordBoundary, &s, &e);
         },
         {}},
        {"sentence at offset",
         [](QAccessibleTextInterface *a, int o) {
             int s, e;
             a->textAtOffset(o, QAccessible::SentenceBoundary, &s, &e);
         },
         {}},
        {"character at offset",
         [](QAccessibleTextInterface *a, int o) {
             int s, e;
             a->textAtOffset(o, QAccessible::CharBoundary, &s, &e);
         },
         {}},
        {"text of the last 80", [](QAccessibleTextInterface *a, int o) { a->text(o - 79, o + 1); }, {}},
        {"character count", [](QAccessibleTextInterface *a, int) { a->characterCount(); }, {}},
        {"character rectangle", [](QAccessibleTextInterface *a, int o) { a->characterRect(o); }, {}},
        {"offset at a point", [](QAccessibleTextInterface *a, int) { a->offsetAtPoint(QPoint(40, 20)); }, {}},
    };
    const int sizes[] = {1, 16, 64};
    for (int k = 0; k < 3; ++k) {
        ReceiveView view;
        view.resize(297, 41);
        for (int i = 0; i < sizes[k] * 16; ++i)
            view.appendBytes(block);
        view.refreshNow();
        QAccessibleTextInterface *a = QAccessible::queryAccessibleInterface(&view)->textInterface();
        const int last = int(view.length()) - 1;
        for (Row &r : rows)
            r.us[k] = medianMicros([&] { r.call(a, last); });
    }
    for (const Row &r : rows)
        std::printf("%-34s %10.1f %10.1f %10.1f\n", r.name, r.us[0], r.us[1], r.us[2]);
    return 0;
}
