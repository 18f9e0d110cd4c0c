#include "PieceText.h"

#include <QRandomGenerator>
#include <QTest>

using namespace corvanel;

namespace {
constexpr qint64 Block = 64 * 1024;
}

class TestPieceText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void appendAcrossChunks()
    {
        PieceText t;
        QByteArray model;
        for (int i = 0; i < 40; ++i) {
            const QByteArray piece(7919, char('a' + i % 26));
            t.append(piece);
            model += piece;
        }
        QCOMPARE(t.size(), model.size());
        QCOMPARE(t.toByteArray(), model);
        QCOMPARE(t.at(Block), model.at(Block));
        QCOMPARE(t.mid(Block - 3, 10), model.mid(Block - 3, 10));
        // Consecutive arrivals continue one piece of the store: nothing is copied twice.
        QCOMPARE(t.store().size(), model.size());
    }

    // Random edits against a plain byte array as the model.
    void editsMatchModel()
    {
        QRandomGenerator rng(1234);
        PieceText t;
        QByteArray model;
        for (int step = 0; step < 3000; ++step) {
            const int op = int(rng.bounded(4));
            const qint64 pos = model.isEmpty() ? 0 : rng.bounded(int(model.size()) + 1);
            if (op <= 1) {
                QByteArray bytes(int(rng.bounded(op == 0 ? 200000 : 50)) + 1, '\0');
                for (auto &b : bytes)
                    b = char(rng.bounded(256));
                if (op == 0) {
                    t.append(bytes);
                    model += bytes;
                } else {
                    t.insert(pos, bytes);
                    model.insert(pos, bytes);
                }
            } else if (op == 2) {
                const qint64 n = rng.bounded(300);
                t.take(pos, n);
                model.remove(pos, n);
            } else if (model.size() > 0) {
                const qint64 p = rng.bounded(int(model.size()));
                QCOMPARE(t.at(p), model.at(p));
            }
            QCOMPARE(t.size(), model.size());
            if (step % 300 == 0 || step < 20)
                QCOMPARE(t.toByteArray(), model);
            if (model.size() > 4000000) {
                t.take(0, 3000000);
                model.remove(0, 3000000);
            }
        }
        QCOMPARE(t.toByteArray(), model);
    }

    void largeInsertSplitsChunk()
    {
        PieceText t;
        t.append(QByteArray(1000, 'x'));
        const QByteArray big(5 * Block, 'y');
        t.insert(500, big);
        QCOMPARE(t.size(), 1000 + big.size());
        QCOMPARE(t.mid(499, 2), QByteArray("xy"));
        QCOMPARE(t.mid(500 + big.size() - 1, 2), QByteArray("yx"));
    }

    void removeEverythingAndClamp()
    {
        PieceText t;
        t.append(QByteArray(200000, 'z'));
        t.take(-5, 10); // clamped to the start
        QCOMPARE(t.size(), 199990);
        t.take(100, 1 << 30);
        QCOMPARE(t.size(), 100);
        t.take(0, 100);
        QVERIFY(t.isEmpty());
        t.append("ok", 2);
        QCOMPARE(t.toByteArray(), QByteArray("ok"));
        QCOMPARE(t.mid(5, 3), QByteArray());
    }

    // What was taken goes back by reference: the store does not grow.
    void takenTextGoesBackWithoutACopy()
    {
        PieceText t;
        const QByteArray big(8 << 20, 'b');
        t.append("head ");
        t.append(big);
        t.insert(2, "XY"); // a piece of its own in the middle
        t.append(" tail");
        const QByteArray before = t.toByteArray();
        const qint64 stored = t.store().size();
        const PieceText::Pieces taken = t.take(1, t.size() - 3);
        QCOMPARE(PieceText::lengthOf(taken), before.size() - 3);
        QCOMPARE(t.toByteArray(), before.left(1) + before.right(2));
        t.append(" more"); // arrivals meanwhile
        t.put(1, taken);
        QCOMPARE(t.toByteArray(), before + " more");
        QCOMPARE(t.store().size(), stored + 5);
        t.clear();
        QVERIFY(t.isEmpty());
        QCOMPARE(t.store().size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPieceText)
#include "tst_piecetext.moc"
