#include "EditHistory.h"

#include <QTest>

using namespace corvanel;

namespace {

// A text with a caret, edited as a user would, with the history beside it.
// A script is a row of keys:
//   a-z  typed at the caret          <  Backspace      >  Delete
//   [ ]  caret one left or right      U  undo           R  redo
//   0-9  arrives at the end of the text (not an edit; the caret stays)
struct Box
{
    PieceText text;
    EditHistory history;
    qint64 caret = 0;

    void change(EditHistory::Kind kind, qint64 pos, qint64 length, const QByteArray &bytes)
    {
        PieceText::Pieces inserted;
        if (!bytes.isEmpty())
            inserted.push_back(text.keep(bytes));
        PieceText::Pieces removed = text.take(pos, length);
        text.put(pos, inserted);
        caret = pos + bytes.size();
        history.record(kind, {pos, std::move(removed), std::move(inserted)});
    }

    void swap(qint64 pos, const PieceText::Pieces &out, const PieceText::Pieces &in)
    {
        text.take(pos, PieceText::lengthOf(out));
        text.put(pos, in);
        caret = pos + PieceText::lengthOf(in);
    }

    void press(char key)
    {
        if (key >= 'a' && key <= 'z') {
            change(EditHistory::Kind::Typing, caret, 0, QByteArray(1, key));
        } else if (key == '<' && caret > 0) {
            change(EditHistory::Kind::Backspace, caret - 1, 1, {});
        } else if (key == '>' && caret < text.size()) {
            change(EditHistory::Kind::Delete, caret, 1, {});
        } else if (key == '[' || key == ']') {
            caret = std::clamp<qint64>(caret + (key == '[' ? -1 : 1), 0, text.size());
            history.breakRun();
        } else if (key >= '0' && key <= '9') {
            text.append(QByteArray(1, key));
        } else if (key == 'U') {
            const EditHistory::Step step = history.undo();
            for (auto c = step.rbegin(); c != step.rend(); ++c)
                swap(c->pos, c->inserted, c->removed);
        } else if (key == 'R') {
            for (const EditHistory::Change &c : history.redo())
                swap(c.pos, c.removed, c.inserted);
        }
    }
};

} // namespace

class TestEditHistory : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mergeRules_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("steps"); // undos left at the end

        QTest::newRow("typing is one step") << "abcU"
                                            << "" << 0;
        QTest::newRow("a caret move ends the run") << "ab[]cU"
                                                   << "ab" << 1;
        QTest::newRow("typing elsewhere is a new step") << "ab[cU"
                                                        << "ab" << 1;
        QTest::newRow("a deletion ends the run") << "ab<cU"
                                                 << "a" << 2;
        QTest::newRow("typing after a deletion") << "ab<cUU"
                                                 << "ab" << 1;
        QTest::newRow("a Backspace run is one step") << "abcd[]<<<U"
                                                     << "abcd" << 1;
        QTest::newRow("Backspace puts back in order") << "abc[]<<U"
                                                      << "abc" << 1;
        QTest::newRow("a Delete run is one step") << "abcd[[[>>>U"
                                                  << "abcd" << 1;
        QTest::newRow("Backspace then Delete") << "abcd[[]<>U"
                                               << "abd" << 2;
        QTest::newRow("redo") << "ab[cUR"
                              << "acb" << 2;
        QTest::newRow("a new edit clears redo") << "abUcR"
                                                << "c" << 1;
        QTest::newRow("undo ends the run") << "abcUR"
                                              "dU"
                                           << "abc" << 1;
        QTest::newRow("arrivals stay") << "ab12U"
                                       << "12" << 0;
        QTest::newRow("arrivals stay, redo") << "ab12UR"
                                             << "ab12" << 1;
        QTest::newRow("typing around arrivals") << "a1b2U"
                                                << "12" << 0;
        QTest::newRow("arrivals after a deletion") << "ab<12U"
                                                   << "ab12" << 1;
    }

    void mergeRules()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(int, steps);
        Box box;
        for (QChar key : keys)
            box.press(key.toLatin1());
        QCOMPARE(QString::fromLatin1(box.text.toByteArray()), text);
        int left = 0;
        for (; box.history.canUndo() && left < 100; ++left)
            box.history.undo();
        QCOMPARE(left, steps);
    }
};

QTEST_APPLESS_MAIN(TestEditHistory)
#include "tst_edithistory.moc"
