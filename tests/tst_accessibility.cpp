// What a screen reader gets from the receive box: events of the class their
// type promises, carrying what changed, and answers that agree with the text.

#include "Accessibility.h"
#include "FormFixture.h"
#include "ReceiveView.h"
#include "ReceiveViewAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>
#include <private/qguiapplication_p.h>

using namespace corvanel;

namespace {

struct Seen
{
    QAccessible::Event type;
    bool classMatches;
    int position;
    QString removed;
    QString inserted;
    int cursor;
};
QList<Seen> seen;
QList<QObject *> renamed; // the objects of NameChanged events, in order

// Checks each event's class against its type, as the desktop bridge casts
// them, and keeps what it carries.
void record(QAccessibleEvent *e)
{
    Seen s {e->type(), false, -1, {}, {}, -1};
    switch (e->type()) {
    case QAccessible::TextInserted:
        if (auto *t = dynamic_cast<QAccessibleTextInsertEvent *>(e))
            s = {e->type(), true, t->changePosition(), {}, t->textInserted(), t->cursorPosition()};
        break;
    case QAccessible::TextRemoved:
        if (auto *t = dynamic_cast<QAccessibleTextRemoveEvent *>(e))
            s = {e->type(), true, t->changePosition(), t->textRemoved(), {}, t->cursorPosition()};
        break;
    case QAccessible::TextUpdated:
        if (auto *t = dynamic_cast<QAccessibleTextUpdateEvent *>(e))
            s = {e->type(), true, t->changePosition(), t->textRemoved(), t->textInserted(), t->cursorPosition()};
        break;
    case QAccessible::TextCaretMoved:
        if (auto *t = dynamic_cast<QAccessibleTextCursorEvent *>(e))
            s = {e->type(), true, -1, {}, {}, t->cursorPosition()};
        break;
    case QAccessible::TextSelectionChanged:
        if (auto *t = dynamic_cast<QAccessibleTextSelectionEvent *>(e))
            s = {e->type(), true, t->selectionStart(), {}, {}, t->selectionEnd()};
        break;
    case QAccessible::NameChanged:
        renamed << e->object();
        return;
    default:
        return; // focus, show and the like are not the box's own
    }
    seen << s;
}

QList<Seen> take()
{
    QList<Seen> out = seen;
    seen.clear();
    return out;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // As when a screen reader is listening.
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QVERIFY(QAccessible::isActive());
        QAccessible::installUpdateHandler(record);
    }

    void everyChangeIsAnEventOfItsOwnClass()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        take();
        using E = QAccessible::Event;
        struct Step
        {
            const char *what;
            std::function<void()> act;
            QList<std::tuple<E, int, QString, QString>> expected; // type, position, removed, inserted
        };
        const QList<Step> steps = {
            {"two arrivals in one frame",
             [&] {
                 v.appendBytes("ab");
                 v.appendBytes(QByteArray("c\0d\n", 4));
                 v.refreshNow();
             },
             {{E::TextInserted, 0, {}, QStringLiteral("abc\u2400d\n")}}},
            {"typing",
             [&] {
                 v.setCursorPosition(2);
                 take();
                 QTest::keyClicks(&v, QStringLiteral("X"));
             },
             {{E::TextInserted, 2, {}, QStringLiteral("X")}, {E::TextCaretMoved, -1, {}, {}}}},
            {"Backspace",
             [&] {
                 take();
                 QTest::keyClick(&v, Qt::Key_Backspace);
             },
             {{E::TextRemoved, 2, QStringLiteral("X"), {}}, {E::TextCaretMoved, -1, {}, {}}}},
            {"Delete",
             [&] {
                 take();
                 QTest::keyClick(&v, Qt::Key_Delete);
             },
             {{E::TextRemoved, 2, QStringLiteral("c"), {}}}},
            {"select all",
             [&] { QTest::keyClick(&v, Qt::Key_A, Qt::ControlModifier); },
             {{E::TextSelectionChanged, 0, {}, {}}, {E::TextCaretMoved, -1, {}, {}}}},
            {"cut",
             [&] {
                 v.setCursorPosition(1);
                 v.setCursorPosition(3, true);
                 take();
                 v.cut();
             },
             {{E::TextRemoved, 1, QStringLiteral("b\u2400"), {}},
              {E::TextSelectionChanged, 1, {}, {}},
              {E::TextCaretMoved, -1, {}, {}}}},
            {"paste over a selection",
             [&] {
                 QApplication::clipboard()->setText(QStringLiteral("PQ"));
                 v.setCursorPosition(0);
                 v.setCursorPosition(1, true);
                 take();
                 v.paste();
             },
             {{E::TextUpdated, 0, QStringLiteral("a"), QStringLiteral("PQ")},
              {E::TextSelectionChanged, 2, {}, {}},
              {E::TextCaretMoved, -1, {}, {}}}},
            {"Clr",
             [&] {
                 take();
                 v.clear();
             },
             {{E::TextRemoved, 0, QStringLiteral("PQd\n"), {}}, {E::TextCaretMoved, -1, {}, {}}}},
        };
        for (const Step &step : steps) {
            step.act();
            const QList<Seen> got = take();
            QVERIFY2(got.size() == step.expected.size(), step.what);
            for (qsizetype i = 0; i < got.size(); ++i) {
                const auto &[type, position, removed, inserted] = step.expected.at(i);
                QVERIFY2(got[i].classMatches, step.what);
                QCOMPARE(got[i].type, type);
                if (position >= 0)
                    QCOMPARE(got[i].position, position);
                QCOMPARE(got[i].removed, removed);
                QCOMPARE(got[i].inserted, inserted);
                if (type == E::TextCaretMoved)
                    QCOMPARE(got[i].cursor, int(v.cursorPosition()));
            }
        }
    }

    // Arrivals go to a screen reader as whole rows, at most once a second
    // while they keep coming, and what is left once they pause: a reader
    // speaks each one. Every event's text stands at its position.
    void arrivalsAreAnnouncedAsRowsAtAPace()
    {
        ReceiveView v;
        v.resize(300, 60);
        const auto insertions = [] {
            QList<std::pair<int, QString>> out;
            for (const Seen &s : take())
                if (s.type == QAccessible::TextInserted)
                    out << std::pair(s.position, s.inserted);
            return out;
        };
        using Ins = QList<std::pair<int, QString>>;
        take();
        // An answer after a quiet spell is heard at once, whole.
        v.appendBytes("OK\r\n");
        v.refreshNow();
        QCOMPARE(insertions(), (Ins {{0, QStringLiteral("OK\r\n")}}));
        // One in pieces, within the second: whole once the arrivals pause.
        v.appendBytes("ER");
        v.refreshNow();
        v.appendBytes("R");
        v.refreshNow();
        QCOMPARE(insertions(), Ins {});
        QTest::qWait(ReceiveAnnouncer::AnnounceQuietMs + 200);
        QCOMPARE(insertions(), (Ins {{4, QStringLiteral("ERR")}}));

        // A stream of 25 lines a second for three seconds, ten frames a second.
        QByteArray line = "riga 00 temperatura 21.5\r\n";
        QElapsedTimer streaming;
        streaming.start();
        for (int frame = 0; frame < 30; ++frame) {
            for (int i = 0; i < 3; ++i) {
                line[5] = char('0' + i);
                v.appendBytes(line);
            }
            v.appendBytes("rig"); // a row still arriving
            v.refreshNow();
            QTest::qWait(100);
            v.appendBytes("a 99 temperatura 21.5\r\n");
        }
        const Ins during = insertions();
        // One a second at most (a loaded machine may stretch the three seconds).
        const qint64 most = streaming.elapsed() / ReceiveAnnouncer::AnnounceMs + 1;
        QVERIFY2(during.size() >= 2 && during.size() <= most, qPrintable(QString::number(during.size())));
        const QByteArray all = v.bytes();
        for (const auto &[pos, text] : during) {
            QCOMPARE(text, QString::fromLatin1(all.mid(pos, text.size())));
            QCOMPARE(v.rowRange(v.rowAt(pos)).first, qint64(pos)); // a whole row
            QVERIFY(text.endsWith(QStringLiteral("\r\n")) && text.count(u'\n') == 1);
        }
        QTest::qWait(ReceiveAnnouncer::AnnounceQuietMs + 200);
        const Ins after = insertions(); // the newest row, once it is quiet
        QCOMPARE(after.size(), 1);
        QCOMPARE(after[0].first + after[0].second.size(), all.size());

        // A flood in one frame: the newest whole row, never more than the cap.
        QByteArray flood;
        for (int i = 0; flood.size() < 1 << 20; ++i)
            flood.append(QByteArray::number(i) + ' ');
        QTest::qWait(ReceiveAnnouncer::AnnounceMs);
        v.appendBytes(flood);
        v.refreshNow();
        const Ins big = insertions();
        QCOMPARE(big.size(), 1);
        const qint64 lastRow = v.rowCount() - 1;
        QCOMPARE(std::pair(qint64(big[0].first), qint64(big[0].first + big[0].second.size())),
                 std::pair(v.rowRange(lastRow - 1).first, v.rowRange(lastRow).first));
        QVERIFY(big[0].second.size() <= ReceiveAnnouncer::AccessibleEventCap);
    }

    void largeRemovalsCarryAtMostACapOfText()
    {
        ReceiveView v;
        v.resize(300, 60);
        QByteArray flood(1 << 20, 'x');
        v.appendBytes(flood);
        v.refreshNow();
        v.clear();
        const QList<Seen> got = take();
        QVERIFY(!got.isEmpty());
        QCOMPARE(got.last().type, QAccessible::TextRemoved);
        QCOMPARE(got.last().position, 0);
        QCOMPARE(got.last().removed, QString::fromLatin1(flood.left(ReceiveAnnouncer::AccessibleEventCap)));
    }

    // Every offset lies in the attribute run given for it, as a screen
    // reader that joins runs to read a line needs: start <= offset < end, and
    // offset == end only at the very end. The receive box and the pause field.
    void attributeRunsHoldTheirOffset()
    {
        FormFixture f;
        ReceiveView v;
        QLineEdit *field = f.ui->Text3;
        const QList<QString> texts = {{},
                                      QStringLiteral("1"),
                                      QStringLiteral("100"),
                                      QStringLiteral("GPS OK\r\n"),
                                      QStringLiteral(" 2 3"),
                                      QStringLiteral("ab\r\ncd\ref\n\n")};
        for (QWidget *box : {static_cast<QWidget *>(&v), static_cast<QWidget *>(field)}) {
            QAccessibleTextInterface *a = QAccessible::queryAccessibleInterface(box)->textInterface();
            QVERIFY(a);
            for (const QString &text : texts) {
                const QString line = text.trimmed();
                if (box == field && (line.contains(u'\r') || line.contains(u'\n')))
                    continue; // one line only
                if (box == field)
                    field->setText(line);
                else
                    v.setText(text);
                const int count = a->characterCount();
                QCOMPARE(count, int(box == field ? line.size() : text.size()));
                for (int offset = 0; offset <= count; ++offset) {
                    int start = -2, end = -2;
                    a->attributes(offset, &start, &end);
                    const QString where = QStringLiteral("%1 \"%2\" at %3: %4-%5")
                                              .arg(QLatin1String(box->metaObject()->className()), text)
                                              .arg(offset)
                                              .arg(start)
                                              .arg(end);
                    QVERIFY2(start >= 0 && start <= offset && offset <= end && end <= count, qPrintable(where));
                    QVERIFY2(offset < end || offset == count, qPrintable(where));
                }
            }
        }
    }

    // The pause field answers as Qt's own field does, from what it shows.
    void pauseFieldReadsAsShown()
    {
        FormFixture f;
        QLineEdit *field = f.ui->Text3;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        field->setText(QStringLiteral("1250"));
        QAccessibleInterface *i = QAccessible::queryAccessibleInterface(field);
        QAccessibleTextInterface *a = i->textInterface();
        QCOMPARE(i->role(), QAccessible::EditableText);
        QCOMPARE(i->text(QAccessible::Name), QStringLiteral("Pausa tra caratteri"));
        QCOMPARE(i->text(QAccessible::Value), QStringLiteral("1250"));
        QVERIFY(i->state().editable && i->editableTextInterface());
        QCOMPARE(a->text(1, 3), QStringLiteral("25"));
        field->setSelection(1, 2);
        int s = 0, e = 0;
        a->selection(0, &s, &e);
        QCOMPARE(std::pair(s, e), std::pair(1, 3));
        int ws = 0, we = 0;
        QCOMPARE(a->textAtOffset(2, QAccessible::WordBoundary, &ws, &we), QStringLiteral("1250"));
        for (int offset = 0; offset < 4; ++offset) {
            const QRect r = a->characterRect(offset);
            QVERIFY(r.width() >= 1);
            QCOMPARE(a->offsetAtPoint(r.center() - QPoint(r.width() / 4, 0)), offset);
        }
        i->editableTextInterface()->replaceText(0, 4, QStringLiteral("80"));
        QCOMPARE(field->text(), QStringLiteral("80"));
    }

    // What a screen reader finds in the window: the lists labelled by their
    // headings, the "Clr" buttons told apart, and each lamp once, with its
    // state, saying when it changes.
    void controlsAreNamedAndLampsReadOnce()
    {
        FormFixture f;
        const Controls &ui = *f.ui;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        const std::pair<QLabel *, QWidget *> labelled[]
            = {{ui.Label2, ui.Combo1}, {ui.Label4, ui.Combo2}, {ui.Label15, ui.Combo4}, {ui.Label7, ui.Combo3}};
        for (const auto &[heading, list] : labelled) {
            const auto labels = QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.first().first->object(), heading);
        }
        QStringList heard;
        QAccessibleInterface *window = QAccessible::queryAccessibleInterface(f.form.get());
        for (int i = 0; i < window->childCount(); ++i) {
            QAccessibleInterface *c = window->child(i);
            if (!c->state().invisible && !c->text(QAccessible::Name).isEmpty())
                heard << c->text(QAccessible::Name);
        }
        const QString clrSend = QAccessible::queryAccessibleInterface(ui.Command6)->text(QAccessible::Name);
        const QString clrReceived = QAccessible::queryAccessibleInterface(ui.Command5)->text(QAccessible::Name);
        QVERIFY(clrSend.startsWith(QStringLiteral("Clr")) && clrSend.contains(QStringLiteral("inviare")));
        QVERIFY(clrReceived.startsWith(QStringLiteral("Clr")) && clrReceived.contains(QStringLiteral("ricevuta")));
        struct Lamp
        {
            QLabel *unlit, *lit;
            const char *line;
        };
        const Lamp lamps[] = {{ui.Image1, ui.Image2, "TX"},
                              {ui.Image4, ui.Image3, "RX"},
                              {ui.Image10, ui.Image9, "DSR"},
                              {ui.Image8, ui.Image7, "CD"},
                              {ui.Image5, ui.Image6, "CTS"}};
        for (const Lamp &l : lamps) {
            const QString line = QString::fromLatin1(l.line);
            const auto mentions = [&](const QString &name) { return name.split(u' ').contains(line); };
            QCOMPARE(std::count_if(heard.begin(), heard.end(), mentions), 1);
            QVERIFY(heard.contains(lampName(line, false)));
            QAccessibleInterface *lamp = QAccessible::queryAccessibleInterface(l.unlit);
            renamed.clear();
            l.lit->setVisible(true);
            QCOMPARE(lamp->text(QAccessible::Name), line + QStringLiteral(" acceso"));
            l.lit->setVisible(false);
            QCOMPARE(lamp->text(QAccessible::Name), line + QStringLiteral(" spento"));
            QCOMPARE(renamed, (QList<QObject *> {l.unlit, l.unlit}));
        }
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
