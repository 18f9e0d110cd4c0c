#include "receive/ChunkedText.h"

#include <QRandomGenerator>
#include <QTest>

using namespace corvanel;

class TestChunkedText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void appendAcrossChunks()
    {
        ChunkedText t;
        QByteArray model;
        for (int i = 0; i < 40; ++i) {
            const QByteArray piece(7919, char('a' + i % 26));
            t.append(piece);
            model += piece;
        }
        QCOMPARE(t.size(), model.size());
        QCOMPARE(t.toByteArray(), model);
        QCOMPARE(t.at(ChunkedText::ChunkSize), model.at(ChunkedText::ChunkSize));
        QCOMPARE(t.mid(ChunkedText::ChunkSize - 3, 10), model.mid(ChunkedText::ChunkSize - 3, 10));
        // Filled chunks are never grown: the memory is the text plus one chunk at most.
        QVERIFY(t.capacity() <= model.size() + ChunkedText::ChunkSize);
    }

    // Random edits against a plain byte array as the model.
    void editsMatchModel()
    {
        QRandomGenerator rng(1234);
        ChunkedText t;
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
                t.remove(pos, n);
                model.remove(pos, n);
            } else if (model.size() > 0) {
                const qint64 p = rng.bounded(int(model.size()));
                QCOMPARE(t.at(p), model.at(p));
            }
            QCOMPARE(t.size(), model.size());
            if (step % 300 == 0 || step < 20)
                QCOMPARE(t.toByteArray(), model);
            if (model.size() > 4000000) {
                t.remove(0, 3000000);
                model.remove(0, 3000000);
            }
        }
        QCOMPARE(t.toByteArray(), model);
    }

    void largeInsertSplitsChunk()
    {
        ChunkedText t;
        t.append(QByteArray(1000, 'x'));
        const QByteArray big(5 * ChunkedText::ChunkSize, 'y');
        t.insert(500, big);
        QCOMPARE(t.size(), 1000 + big.size());
        QCOMPARE(t.mid(499, 2), QByteArray("xy"));
        QCOMPARE(t.mid(500 + big.size() - 1, 2), QByteArray("yx"));
    }

    void removeEverythingAndClamp()
    {
        ChunkedText t;
        t.append(QByteArray(200000, 'z'));
        t.remove(-5, 10); // clamped to the start
        QCOMPARE(t.size(), 199990);
        t.remove(100, 1 << 30);
        QCOMPARE(t.size(), 100);
        t.remove(0, 100);
        QVERIFY(t.isEmpty());
        t.append("ok", 2);
        QCOMPARE(t.toByteArray(), QByteArray("ok"));
        QCOMPARE(t.mid(5, 3), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestChunkedText)
#include "tst_chunkedtext.moc"
