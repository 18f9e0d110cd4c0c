#include "Bytes.h"
#include "ReceiveView.h"
#include "ReceiveViewAccessible.h"

#include <QAccessible>
#include <QRandomGenerator>
#include <QTest>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

using namespace corvanel;

// What a screen reader asks of the receive box's text: characters, words,
// lines, sentences and paragraphs around an offset, against the text itself.
namespace {

QAccessibleTextInterface *textOf(ReceiveView &v)
{
    return QAccessible::queryAccessibleInterface(&v)->textInterface();
}

using Query = QString (QAccessibleTextInterface::*)(int, QAccessible::TextBoundaryType, int *, int *) const;

// An answer as (text, start, end); Qt's own default (base) marks "no such
// item" with either offset at -1, ours with both.
std::tuple<QString, int, int> answer(QAccessibleTextInterface *a, Query q, int offset,
                                     QAccessible::TextBoundaryType type, bool base = false)
{
    int s = 0, e = 0;
    QString t;
    if (!base)
        t = (a->*q)(offset, type, &s, &e);
    else if (q == &QAccessibleTextInterface::textAtOffset)
        t = a->QAccessibleTextInterface::textAtOffset(offset, type, &s, &e);
    else if (q == &QAccessibleTextInterface::textBeforeOffset)
        t = a->QAccessibleTextInterface::textBeforeOffset(offset, type, &s, &e);
    else
        t = a->QAccessibleTextInterface::textAfterOffset(offset, type, &s, &e);
    if (t.isEmpty() && (s == -1 || e == -1))
        s = e = -1;
    return {t, s, e};
}

} // namespace

class TestAccessibleText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // As when a screen reader is listening.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QVERIFY(QAccessible::isActive());
    }

    // Our answers are bounded in cost; Qt's own default answers scan the whole
    // text. On a box of moderate size both must agree.
    void queriesAgreeWithTheText()
    {
        ReceiveView v;
        v.resize(300, 200);
        QByteArray text;
        QRandomGenerator rng(11);
        const QList<QByteArray> words = {"alpha", "b2", "Gamma.", "delta,", "x", "41", "FF", "e-mail", "?", "Ok!"};
        while (text.size() < 200000) {
            text += words.at(rng.bounded(int(words.size())));
            const int r = int(rng.bounded(12));
            text += r == 0 ? "\r\n" : r == 1 ? "\n" : r == 2 ? ". " : " ";
        }
        v.appendBytes(text);
        QAccessibleTextInterface *a = textOf(v);
        QCOMPARE(a->characterCount(), int(text.size()));
        const QList<int> offsets
            = {0, 1, 2, int(text.size() / 2), int(text.size()) - 2, int(text.size()) - 1, int(text.size())};
        QList<int> all = offsets;
        for (int i = 0; i < 60; ++i)
            all << int(rng.bounded(int(text.size()) + 1));
        for (int offset : all) {
            for (auto type : {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::SentenceBoundary}) {
                // (Qt's own default never returns for a sentence at the very end.)
                if (offset < text.size())
                    QCOMPARE(answer(a, &QAccessibleTextInterface::textAtOffset, offset, type),
                             answer(a, &QAccessibleTextInterface::textAtOffset, offset, type, true));
                QCOMPARE(answer(a, &QAccessibleTextInterface::textBeforeOffset, offset, type),
                         answer(a, &QAccessibleTextInterface::textBeforeOffset, offset, type, true));
                QCOMPARE(answer(a, &QAccessibleTextInterface::textAfterOffset, offset, type),
                         answer(a, &QAccessibleTextInterface::textAfterOffset, offset, type, true));
            }
            // A line is the row as shown, with its break.
            int s = 0, e = 0;
            const QString line = a->textAtOffset(offset, QAccessible::LineBoundary, &s, &e);
            const auto [rs, re] = v.rowRange(v.rowAt(offset));
            QCOMPARE(std::pair(s, e), std::pair(int(rs), int(re)));
            QCOMPARE(line, QString::fromLatin1(text.mid(s, e - s)));
            if (rs > 0) {
                a->textBeforeOffset(offset, QAccessible::LineBoundary, &s, &e);
                QCOMPARE(e, int(rs));
            }
            QCOMPARE(a->text(offset, std::min(offset + 5, int(text.size()))), QString::fromLatin1(text.mid(offset, 5)));
            if (offset < text.size() && text.at(offset) != '\r' && text.at(offset) != '\n') {
                const QRect r = a->characterRect(offset);
                QVERIFY(r.width() >= 1);
                QCOMPARE(a->offsetAtPoint(r.center() - QPoint(r.width() / 4, 0)), offset);
            }
        }
    }

    void paragraphsEndWithTheirBreak()
    {
        ReceiveView v;
        v.setText(QStringLiteral("ab\r\ncd\ref"));
        QAccessibleTextInterface *a = textOf(v);
        int s = 0, e = 0;
        QCOMPARE(a->textAtOffset(3, QAccessible::ParagraphBoundary, &s, &e), QStringLiteral("ab\r\n"));
        QCOMPARE(std::pair(s, e), std::pair(0, 4));
        QCOMPARE(a->textBeforeOffset(5, QAccessible::ParagraphBoundary, &s, &e), QStringLiteral("ab\r\n"));
        QCOMPARE(a->textAfterOffset(1, QAccessible::ParagraphBoundary, &s, &e), QStringLiteral("cd\r"));
        QCOMPARE(a->textAfterOffset(5, QAccessible::ParagraphBoundary, &s, &e), QStringLiteral("ef"));
        QCOMPARE(std::pair(s, e), std::pair(7, 9));
    }

    // A query for the whole of a large box (NUL and bytes over 127, the
    // longest characters in UTF-8) answers the capped start of it, and says
    // where that ends: the reply fits in a D-Bus message many times over.
    void queriesForTheWholeBoxAreCapped()
    {
        ReceiveView v;
        v.resize(300, 200);
        QByteArray bytes(int(2 * AccessibleQueryCap + 100), '\0');
        for (qsizetype i = 0; i < bytes.size(); i += 3)
            bytes[i] = char(0x80 + i % 128);
        v.appendBytes(bytes);
        QAccessibleTextInterface *a = textOf(v);
        QCOMPARE(a->characterCount(), bytes.size());
        const QString head = v.accessibleText(0, AccessibleQueryCap);
        int s = 0, e = 0;
        const QString all = a->text(0, a->characterCount());
        const QString whole = a->textAtOffset(5, QAccessible::NoBoundary, &s, &e);
        for (const QString &answer : {all, whole}) {
            QCOMPARE(answer.size(), AccessibleQueryCap);
            QVERIFY(answer == head);
            QVERIFY(answer.toUtf8().size() <= 3 * AccessibleQueryCap);
        }
        QCOMPARE(std::pair(s, e), std::pair(0, int(AccessibleQueryCap)));
        // Further on, the same.
        QCOMPARE(a->text(int(AccessibleQueryCap), a->characterCount()).size(), AccessibleQueryCap);
    }

    void nulIsVisibleAndEveryByteReadable()
    {
        ReceiveView v;
        v.appendBytes(QByteArray("ABC\0DXYZ", 8) + everyByte());
        QAccessibleTextInterface *a = textOf(v);
        QCOMPARE(a->characterCount(), 8 + 256);
        const QString all = a->text(0, a->characterCount());
        QCOMPARE(all.size(), 8 + 256);
        QCOMPARE(all.left(8), QStringLiteral("ABC\u2400DXYZ"));
        QVERIFY(!all.contains(QChar(0)));
        for (int b = 1; b < 256; ++b)
            QCOMPARE(all.at(8 + b).unicode(), char16_t(b));
        // The box itself still holds the real bytes.
        QCOMPARE(v.bytes().at(3), '\0');
    }
};

QTEST_MAIN(TestAccessibleText)
#include "tst_accessible_text.moc"
