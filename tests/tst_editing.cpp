// The receive box as a text box: the same keys on the stock multi-line text
// box and on ours must leave the same text and caret, except where our rules
// differ on purpose; and the user's edits can be undone, arrivals or not.

#include "ReceiveView.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTest>

using namespace corvanel;

namespace {

// Our text as the stock box would hold it: each line break (CR LF, CR, LF)
// is one paragraph break there. Offsets map the same way.
QString canonical(const QString &ours)
{
    return QString(ours).replace(u"\r\n"_qs, u"\n"_qs).replace(u'\r', u'\n');
}
int canonicalOffset(const QString &ours, qint64 offset)
{
    return int(canonical(ours.left(offset)).size());
}

// Keys as words: "Left", "S-Left" (with Shift), "C-Right" (Ctrl), "CS-End",
// "BS", "Del", "Enter", and 'text' to type.
void press(QWidget *w, const QString &word)
{
    if (word.startsWith(u'\'')) {
        QTest::keyClicks(w, word.mid(1, word.size() - 2));
        return;
    }
    Qt::KeyboardModifiers mods;
    QString key = word;
    if (const qsizetype dash = word.indexOf(u'-'); dash > 0) {
        if (word.left(dash).contains(u'C'))
            mods |= Qt::ControlModifier;
        if (word.left(dash).contains(u'S'))
            mods |= Qt::ShiftModifier;
        key = word.mid(dash + 1);
    }
    static const QHash<QString, Qt::Key> keys
        = {{u"Left"_qs, Qt::Key_Left},    {u"Right"_qs, Qt::Key_Right},  {u"Home"_qs, Qt::Key_Home},
           {u"End"_qs, Qt::Key_End},      {u"BS"_qs, Qt::Key_Backspace}, {u"Del"_qs, Qt::Key_Delete},
           {u"Enter"_qs, Qt::Key_Return}, {u"Z"_qs, Qt::Key_Z},          {u"Y"_qs, Qt::Key_Y},
           {u"A"_qs, Qt::Key_A}};
    QVERIFY2(keys.contains(key), qPrintable(word));
    QTest::keyClick(w, keys.value(key), mods);
}

} // namespace

class TestEditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameKeysAsTheStockTextBox_data()
    {
        QTest::addColumn<QString>("text"); // what the receive box holds
        QTest::addColumn<QString>("keys"); // from the start of the text
        QTest::addColumn<QString>("ourRule"); // where ours differs on purpose
        const QString words = u"ab cd, ef.gh  (ij)"_qs;
        struct Row
        {
            const char *name;
            QString text;
            const char *keys;
            const char *rule;
        };
        const Row rows[] = {
            {"CR LF is one stop", u"ab cd\r\nef"_qs, "End Right 'Y'", "CR LF is one break"},
            {"CR LF from the end", u"ab cd\r\nef"_qs, "C-End Left Left Left 'Y'", "CR LF is one break"},
            {"Backspace takes CR LF", u"ab\r\ncd"_qs, "Right Right Right BS", "CR LF is one break"},
            {"Delete takes CR LF", u"ab\r\ncd"_qs, "End Del", "CR LF is one break"},
            {"select across CR LF", u"ab\r\ncd"_qs, "Right S-Right S-Right S-Right BS", "CR LF is one break"},
            {"lone CR", u"ab\rcd"_qs, "End Right 'Y' Left Left BS", "a lone CR is a line break"},
            {"lone LF", u"ab\ncd"_qs, "C-Right C-Right 'Y' C-Left C-Left BS", ""},
            {"word moves", words, "C-Right C-Right C-Right C-Right C-Right 'Y' C-Left C-Left 'Z'", ""},
            {"word selection", words, "CS-Right CS-Right Del C-End CS-Left CS-Left BS", ""},
            {"word deletion", words, "C-Del C-Del C-End C-BS C-BS", ""},
            {"words across lines", u"ab\r\n  cd\r\nef"_qs, "C-Right C-Right C-Right C-Right C-Left C-Left C-Left 'Y'",
             "CR LF is one break"},
            {"home and end", u"one two\r\nthree"_qs, "Down End Home S-End 'X' C-Home End 'Y'", "CR LF is one break"},
            {"select to the ends", u"one\r\ntwo"_qs, "Right CS-End 'x' C-Home CS-Home 'y'", "CR LF is one break"},
            {"enter", u"abcd"_qs, "Right Right Enter 'x' BS BS", "Enter puts CR LF"},
            {"control characters",
             u"a\x01"
             "b c\x7f"
             "d"_qs,
             "C-Right 'Y' C-Right Right Right BS", "control characters show as boxes"},
            {"empty box", QString(), "BS Del C-Right C-Left 'ab' Left Left BS C-End C-BS", ""},
            {"undo typing", u"xy"_qs, "End 'abc' C-Z", ""},
            {"undo and redo deletions", u"abcdef"_qs, "End BS BS BS C-Z Home Del Del C-Z C-Z C-Y", ""},
            {"undo everything", u"ab\r\ncd"_qs, "C-A BS C-Z", "CR LF is one break"},
        };
        for (const Row &r : rows)
            QTest::newRow(r.name) << r.text << QString::fromLatin1(r.keys) << QString::fromLatin1(r.rule);
    }

    void sameKeysAsTheStockTextBox()
    {
        QFETCH(QString, text);
        QFETCH(QString, keys);
        QFETCH(QString, ourRule);
        ReceiveView ours;
        QPlainTextEdit stock;
        for (QWidget *w : {static_cast<QWidget *>(&ours), static_cast<QWidget *>(&stock)}) {
            w->resize(800, 200); // no wrapping: rows are lines
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
        }
        ours.setText(text);
        stock.setPlainText(canonical(text)); // the stock box has one kind of line break
        const QStringList words = keys.split(u' ', Qt::SkipEmptyParts);
        for (const QString &word : words) {
            if (word == u"Down"_qs) { // rows differ in height: go by lines instead
                press(&ours, u"End"_qs), press(&ours, u"Right"_qs);
                press(&stock, u"End"_qs), press(&stock, u"Right"_qs);
                continue;
            }
            press(&ours, word);
            press(&stock, word);
            const QString now = ours.text();
            QVERIFY2(canonical(now) == stock.toPlainText(), qPrintable(u"after %1: ours %2, stock %3 (%4)"_qs.arg(
                                                                word, canonical(now), stock.toPlainText(), ourRule)));
            QVERIFY2(canonicalOffset(now, ours.cursorPosition()) == stock.textCursor().position()
                         && canonicalOffset(now, ours.selectionStart()) == stock.textCursor().selectionStart()
                         && canonicalOffset(now, ours.selectionEnd()) == stock.textCursor().selectionEnd(),
                     qPrintable(u"after %1: caret %2 [%3, %4], stock %5 [%6, %7]"_qs.arg(word)
                                    .arg(canonicalOffset(now, ours.cursorPosition()))
                                    .arg(canonicalOffset(now, ours.selectionStart()))
                                    .arg(canonicalOffset(now, ours.selectionEnd()))
                                    .arg(stock.textCursor().position())
                                    .arg(stock.textCursor().selectionStart())
                                    .arg(stock.textCursor().selectionEnd())));
            // Our own rule: the caret never stands inside a CR LF.
            QVERIFY(!now.mid(ours.cursorPosition() - 1, 2).startsWith(u"\r\n"_qs) || ours.cursorPosition() == 0);
        }
    }

    void undoIgnoresArrivals()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.appendBytes("one two three");
        v.setCursorPosition(3);
        v.insertText(QStringLiteral("+"));
        v.setCursorPosition(5);
        v.setCursorPosition(8, true);
        v.insertText(QString()); // "one+ two" loses "two"... the selection " tw"
        const QByteArray edited = v.bytes();
        v.appendBytes("\r\nfour"); // data arrives meanwhile
        v.undo();
        QCOMPARE(v.bytes(), QByteArray("one+ two three\r\nfour"));
        QCOMPARE(v.cursorPosition(), 8);
        v.undo();
        QCOMPARE(v.bytes(), QByteArray("one two three\r\nfour"));
        QVERIFY(!v.isUndoAvailable());
        v.appendBytes("!");
        v.redo();
        v.redo();
        QCOMPARE(v.bytes(), edited + "\r\nfour!");
        QVERIFY(!v.isRedoAvailable());

        std::unique_ptr<QMenu> menu(v.createContextMenu());
        QStringList entries;
        for (QAction *a : menu->actions())
            if (!a->isSeparator())
                entries << a->text() + (a->isEnabled() ? u""_qs : u" (off)"_qs);
        QCOMPARE(entries,
                 QStringList({u"Annulla"_qs, u"Ripeti (off)"_qs, u"Taglia (off)"_qs, u"Copia (off)"_qs,
                              QApplication::clipboard()->text().isEmpty() ? u"Incolla (off)"_qs : u"Incolla"_qs,
                              u"Seleziona tutto"_qs, u"Salva con nome..."_qs}));
        v.clear(); // "Clr" empties the history too
        QVERIFY(!v.isUndoAvailable() && !v.isRedoAvailable());
    }

    void dropInsertsAndUndoes()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setText(QStringLiteral("hello world"));
        QMimeData mime;
        mime.setText(QStringLiteral("big "));
        const QPointF at = v.caretRect(6).center() - QPoint(1, 0);
        QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(v.viewport(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(v.viewport(), &drop);
        QCOMPARE(v.text(), QStringLiteral("hello big world"));
        QCOMPARE(v.selectedText(), QStringLiteral("big "));
        v.undo();
        QCOMPARE(v.text(), QStringLiteral("hello world"));
    }

    // Undoing a deletion of the whole box puts the same store pieces back:
    // memory stays where it was, however large the box.
    void largeDeletionUndoneAtConstantMemory()
    {
        ReceiveView v;
        v.resize(300, 60);
        QByteArray block;
        for (int i = 0; block.size() < 1 << 20; ++i)
            block += QByteArray::number(i) + (i % 9 ? " " : "\r\n");
        for (int i = 0; i < 24; ++i)
            v.appendBytes(block);
        const qint64 size = v.length();
        const qint64 memory = v.memoryUsed();
        v.selectAll();
        QTest::keyClick(&v, Qt::Key_Backspace);
        QCOMPARE(v.length(), 0);
        QTest::keyClick(&v, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(v.length(), size);
        QCOMPARE(v.bytes().mid(size - block.size()), block);
        QVERIFY2(v.memoryUsed() < memory + memory / 20, qPrintable(QString::number(v.memoryUsed() - memory)));
    }
};

QTEST_MAIN(TestEditing)
#include "tst_editing.moc"
