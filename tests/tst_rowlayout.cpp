// Where the receive box's rows start, with whole-pixel advances: every
// character 1 pixel wide unless the row says otherwise.

#include "PieceText.h"
#include "RowLayout.h"

#include <QTest>

using namespace corvanel;

class TestRowLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rows_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("width");     // pixels
        QTest::addColumn<QByteArray>("wide"); // characters 3 pixels wide
        QTest::addColumn<QList<qint64>>("starts");
        QTest::newRow("empty") << QByteArray() << 10 << QByteArray() << QList<qint64>{0};
        QTest::newRow("each break ends a row") << QByteArray("a\rb\nc\r\nd") << 10 << QByteArray()
                                                << QList<qint64>{0, 2, 4, 7};
        QTest::newRow("breaks on a very wide row") << QByteArray("\nab\r\ncd") << (1 << 30) << QByteArray()
                                                   << QList<qint64>{0, 1, 5};
        QTest::newRow("a final break opens an empty row") << QByteArray("ab\r\n") << 10 << QByteArray()
                                                          << QList<qint64>{0, 4};
        QTest::newRow("CR CR LF: two breaks") << QByteArray("a\r\r\nb") << 10 << QByteArray()
                                              << QList<qint64>{0, 2, 4};
        QTest::newRow("wraps after the last blank") << QByteArray("abc def ghi") << 6 << QByteArray()
                                                     << QList<qint64>{0, 4, 8};
        QTest::newRow("a long word breaks where it must") << QByteArray("abcdefghij") << 4 << QByteArray()
                                                           << QList<qint64>{0, 4, 8};
        QTest::newRow("wide characters") << QByteArray("WWWa") << 7 << QByteArray("W")
                                         << QList<qint64>{0, 2};
        QTest::newRow("a character wider than the row stays alone") << QByteArray("aWb") << 2 << QByteArray("W")
                                                                     << QList<qint64>{0, 1, 2};
        QTest::newRow("blanks at a row's end stay on it") << QByteArray("ab   cd") << 4 << QByteArray()
                                                          << QList<qint64>{0, 4};
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

    void aLargeDeletionGivesTheRowsMemoryBack()
    {
        RowLayout::Advances advances;
        advances.fill(64);
        PieceText t;
        t.append(QByteArray(4'000'000, 'x'));
        RowLayout rows;
        rows.layout(t, advances, 8 * 64); // 500,000 rows of 8
        const qint64 full = rows.memoryUsed();
        QVERIFY(full >= 500'000 * qint64(sizeof(qint64)));
        const PieceText::Pieces gone = t.take(8, t.size() - 16);
        rows.edited(t, 8, 4'000'000 - 16, 0);
        QCOMPARE(rows.rowCount(), 2);
        QVERIFY2(rows.memoryUsed() < full / 4, qPrintable(QString::number(rows.memoryUsed())));
        t.put(8, gone); // and undone
        rows.edited(t, 8, 0, 4'000'000 - 16);
        QCOMPARE(rows.rowCount(), 500'000);
        QCOMPARE(rows.rowStart(499'999), 4'000'000 - 8);
    }
};

QTEST_GUILESS_MAIN(TestRowLayout)
#include "tst_rowlayout.moc"
