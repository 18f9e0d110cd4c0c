// Where the receive box's rows start, with whole-pixel advances: every
// character 1 pixel wide unless the row says otherwise.

#include "PieceText.h"
#include "RowLayout.h"

#include <QTest>

#include <algorithm>
#include <vector>

using namespace corvanel;

namespace {

// The rows as the rules say, a character at a time.
std::vector<qint64> plainRows(const QByteArray &t, const RowLayout::Advances &advance, qint64 width)
{
    std::vector<qint64> rows {0};
    qint64 x = 0;
    qint64 lastBreak = -1; // just after the row's last blank
    for (qint64 i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n')
                ++i;
            rows.push_back(i + 1);
            x = 0;
            lastBreak = -1;
            continue;
        }
        const qint64 w = advance[static_cast<unsigned char>(c)];
        if (x + w > width && i > rows.back()) {
            rows.push_back(lastBreak > rows.back() && lastBreak < i ? lastBreak : i);
            x = 0;
            for (qint64 k = rows.back(); k < i; ++k)
                x += advance[static_cast<unsigned char>(t[k])];
            lastBreak = -1;
        }
        x += w;
        if (c == ' ')
            lastBreak = i + 1;
    }
    return rows;
}

// Words of one to a few letters (W is wide), with CR, LF or CR LF about
// every lineEvery characters (never if 0).
template <typename Random>
QByteArray words(qint64 size, int lineEvery, Random &next)
{
    QByteArray text;
    while (text.size() < size) {
        const quint32 r = next(20);
        text += r < 4 ? ' ' : r == 4 ? 'W' : char('a' + r);
        if (lineEvery > 0 && next(quint32(lineEvery)) == 0)
            text += QByteArrayView(next(3) == 0 ? "\r" : next(2) == 0 ? "\n" : "\r\n");
    }
    return text;
}

} // namespace

class TestRowLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("width"); // pixels
        QTest::addColumn<QByteArray>("wide"); // characters 3 pixels wide
        QTest::addColumn<QList<qint64>>("starts");
        QTest::newRow("empty") << QByteArray() << 10 << QByteArray() << QList<qint64> {0};
        QTest::newRow("each break ends a row")
            << QByteArray("a\rb\nc\r\nd") << 10 << QByteArray() << QList<qint64> {0, 2, 4, 7};
        QTest::newRow("breaks on a very wide row")
            << QByteArray("\nab\r\ncd") << (1 << 30) << QByteArray() << QList<qint64> {0, 1, 5};
        QTest::newRow("a final break opens an empty row")
            << QByteArray("ab\r\n") << 10 << QByteArray() << QList<qint64> {0, 4};
        QTest::newRow("CR CR LF: two breaks")
            << QByteArray("a\r\r\nb") << 10 << QByteArray() << QList<qint64> {0, 2, 4};
        QTest::newRow("wraps after the last blank")
            << QByteArray("abc def ghi") << 6 << QByteArray() << QList<qint64> {0, 4, 8};
        QTest::newRow("a long word breaks where it must")
            << QByteArray("abcdefghij") << 4 << QByteArray() << QList<qint64> {0, 4, 8};
        QTest::newRow("wide characters") << QByteArray("WWWa") << 7 << QByteArray("W") << QList<qint64> {0, 2};
        QTest::newRow("a character wider than the row stays alone")
            << QByteArray("aWb") << 2 << QByteArray("W") << QList<qint64> {0, 1, 2};
        QTest::newRow("blanks at a row's end stay on it")
            << QByteArray("ab   cd") << 4 << QByteArray() << QList<qint64> {0, 4};
    }

    void rows()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, width);
        QFETCH(QByteArray, wide);
        QFETCH(QList<qint64>, starts);
        RowLayout::Advances advances;
        advances.fill(64);
        for (char c : wide)
            advances[static_cast<unsigned char>(c)] = 3 * 64;
        advances['\r'] = advances['\n'] = 0;
        PieceText t;
        t.append(text);
        RowLayout fresh;
        fresh.layout(t, advances, qint64(width) * 64);
        // The same text arriving a character at a time, and typed backwards
        // from the end to the start, must give the same rows.
        PieceText arriving;
        RowLayout appended;
        appended.layout(arriving, advances, qint64(width) * 64);
        PieceText typed;
        RowLayout edited;
        edited.layout(typed, advances, qint64(width) * 64);
        for (qsizetype i = 0; i < text.size(); ++i) {
            arriving.append(text.mid(i, 1));
            appended.appended(arriving);
            typed.insert(0, text.mid(text.size() - 1 - i, 1));
            edited.edited(typed, 0, 0, 1);
        }
        for (const RowLayout *l : {&fresh, &appended, &edited}) {
            QList<qint64> got;
            for (qint64 r = 0; r < l->rowCount(); ++r)
                got << l->rowStart(r);
            QCOMPARE(got, starts);
            QCOMPARE(l->rowEnd(l->rowCount() - 1), text.size());
        }
        for (qint64 pos = 0; pos <= text.size(); ++pos) {
            const qint64 r = fresh.rowOf(pos);
            QVERIFY(fresh.rowStart(r) <= pos && (pos < fresh.rowEnd(r) || r == fresh.rowCount() - 1));
        }
    }

    // Texts of many groups: the index keeps one mark per group and lays the
    // others out again when asked. Whatever way the text came, every row
    // start and every position's row must be those the rules give.
    void manyGroups_data()
    {
        QTest::addColumn<int>("width"); // pixels
        QTest::addColumn<int>("lineEvery"); // characters between breaks, about; 0: none
        QTest::newRow("hex-like, no breaks") << 40 << 0;
        QTest::newRow("short lines") << 200 << 6;
        QTest::newRow("lines longer than a row") << 30 << 90;
    }

    void manyGroups()
    {
        QFETCH(int, width);
        QFETCH(int, lineEvery);
        RowLayout::Advances advances;
        advances.fill(64);
        advances['W'] = 3 * 64;
        advances['\r'] = advances['\n'] = 0;
        quint32 seed = 7;
        const auto next = [&seed](quint32 n) {
            seed = seed * 1664525u + 1013904223u;
            return (seed >> 8) % n;
        };
        const QByteArray text = words(10 * RowLayout::GroupChars, lineEvery, next);
        const auto check = [&](const RowLayout &l, const PieceText &t, const char *how) {
            const std::vector<qint64> expected = plainRows(t.toByteArray(), advances, qint64(width) * 64);
            QVERIFY2(l.rowCount() == qint64(expected.size()), how);
            QVERIFY2(l.rowCount() > 4 * RowLayout::GroupRows, how);
            // Backwards, so that the groups kept are of no help.
            for (qint64 r = l.rowCount() - 1; r >= 0; --r)
                QVERIFY2(l.rowStart(r) == expected[size_t(r)],
                         qPrintable(QStringLiteral("%1: row %2").arg(QLatin1String(how)).arg(r)));
            for (qint64 pos = 0; pos <= t.size(); pos += 997) {
                const auto it = std::upper_bound(expected.begin(), expected.end(), pos);
                QVERIFY2(l.rowOf(pos) == it - expected.begin() - 1, how);
            }
            QVERIFY2(l.rowEnd(l.rowCount() - 1) == t.size(), how);
        };
        PieceText arriving;
        RowLayout appended;
        appended.layout(arriving, advances, qint64(width) * 64);
        for (qsizetype at = 0; at < text.size();) {
            const qsizetype n = std::min<qsizetype>(1 + next(5000), text.size() - at);
            arriving.append(text.mid(at, n));
            appended.appended(arriving);
            at += n;
        }
        check(appended, arriving, "appended");
        // Edits anywhere: typing, deleting a little or a lot, and undoing it.
        for (int i = 0; i < 12; ++i) {
            const qint64 pos = next(quint32(arriving.size()));
            if (i % 3 == 0) {
                const QByteArray typed = i % 2 ? QByteArray("W\r\nxy ") : QByteArray("zz");
                arriving.insert(pos, typed);
                appended.edited(arriving, pos, 0, typed.size());
            } else {
                const qint64 n = std::min<qint64>(i % 3 == 1 ? 3 : 200'000, arriving.size() - pos);
                const PieceText::Pieces gone = arriving.take(pos, n);
                appended.edited(arriving, pos, n, 0);
                check(appended, arriving, "deleted");
                arriving.put(pos, gone);
                appended.edited(arriving, pos, 0, n);
            }
            check(appended, arriving, "edited");
        }
    }

    // Deleting the start of a word at a row's start lets what is left of it
    // rise to the row above, also when that row is in the group before.
    void aWordRises_data()
    {
        QTest::addColumn<bool>("atGroup"); // counted from the second group's first row, or the text's
        QTest::addColumn<int>("row");
        QTest::newRow("within a group") << false << 5;
        QTest::newRow("into the group before") << true << 0;
        QTest::newRow("the row above shortened") << true << -1;
        QTest::newRow("the row below a group's start") << true << 1;
    }

    void aWordRises()
    {
        QFETCH(bool, atGroup);
        QFETCH(int, row);
        RowLayout::Advances advances;
        advances.fill(64);
        // Rows of "abcd abcd " with three pixels to spare: "cd " fits
        // after them, "abcd " does not.
        const qint64 width = 13 * 64;
        QByteArray text;
        while (text.size() < 3 * RowLayout::GroupChars)
            text += "abcd ";
        PieceText t;
        t.append(text);
        RowLayout rows;
        rows.layout(t, advances, width);
        // A group opens at the first row with GroupRows rows and GroupChars
        // characters before it.
        qint64 groupRow = RowLayout::GroupRows;
        while (rows.rowStart(groupRow) < RowLayout::GroupChars)
            ++groupRow;
        const qint64 pos = rows.rowStart((atGroup ? groupRow : 0) + row);
        QCOMPARE(t.at(pos), 'a');
        t.take(pos, 2);
        rows.edited(t, pos, 2, 0);
        const std::vector<qint64> expected = plainRows(t.toByteArray(), advances, width);
        QCOMPARE(rows.rowOf(pos), (atGroup ? groupRow : 0) + row - 1);
        QCOMPARE(rows.rowCount(), qint64(expected.size()));
        for (qint64 r = 0; r < rows.rowCount(); ++r)
            QVERIFY2(rows.rowStart(r) == expected[size_t(r)], qPrintable(QString::number(r)));
    }

    void theIndexStaysSmall()
    {
        RowLayout::Advances advances;
        advances.fill(64);
        PieceText t;
        t.append(QByteArray(4'000'000, 'x'));
        RowLayout rows;
        rows.layout(t, advances, 8 * 64); // 500,000 rows of 8
        const qint64 full = rows.memoryUsed();
        // Four times the text: a mark more per group, and nothing else.
        t.append(QByteArray(12'000'000, 'x'));
        rows.appended(t);
        QCOMPARE(rows.rowCount(), 2'000'000);
        QVERIFY2(rows.memoryUsed() < full + full / 16,
                 qPrintable(QStringLiteral("%1 then %2").arg(full).arg(rows.memoryUsed())));
        QVERIFY2(full < 2'000'000 * qint64(sizeof(qint64)) / 8, qPrintable(QString::number(full)));
        const qint64 grown = rows.memoryUsed();
        const PieceText::Pieces gone = t.take(8, t.size() - 16);
        rows.edited(t, 8, 16'000'000 - 16, 0);
        QCOMPARE(rows.rowCount(), 2);
        QVERIFY2(rows.memoryUsed() < grown / 4,
                 qPrintable(QStringLiteral("%1 of %2").arg(rows.memoryUsed()).arg(grown)));
        t.put(8, gone); // and undone
        rows.edited(t, 8, 0, 16'000'000 - 16);
        QCOMPARE(rows.rowCount(), 2'000'000);
        QCOMPARE(rows.rowStart(1'999'999), 16'000'000 - 8);
        QCOMPARE(rows.rowStart(250'001), 2'000'008);
        QCOMPARE(rows.rowOf(2'000'007), 250'000);
    }
};

QTEST_GUILESS_MAIN(TestRowLayout)
#include "tst_rowlayout.moc"
