#include "Bytes.h"
#include "FormFixture.h"
#include "DisplayFormat.h"
#include "ReceiveView.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <functional>

using namespace corvanel;

namespace {

const QString Prompt = QStringLiteral("Premere il pulsante \"Ricevi\" per attivare la ricezione\r\n");

// A view laid out from scratch with the same text must match row for row.
void compareWithFreshLayout(ReceiveView &edited)
{
    ReceiveView fresh;
    fresh.setFont(edited.font());
    fresh.resize(edited.size());
    fresh.setText(edited.text());
    QCOMPARE(edited.rowCount(), fresh.rowCount());
    for (qint64 pos = 0; pos <= edited.length(); pos += 7) {
        edited.verticalScrollBar()->setValue(0);
        fresh.verticalScrollBar()->setValue(0);
        QCOMPARE(edited.caretRect(pos), fresh.caretRect(pos));
    }
}

// Counts the paint events a widget receives.
struct PaintCounter : QObject
{
    explicit PaintCounter(QWidget *widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject *, QEvent *e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
    int paints = 0;
};

} // namespace

class TestReceive : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void textModeAppendsAfterThePrompt()
    {
        FormFixture f;
        f.comm->receive("AB");
        QCOMPARE(f.ui->Text2->text(), Prompt + QStringLiteral("AB"));
        QCOMPARE(f.ui->Text2->rowCount(), 2);
    }

    void hexAndDecimalShowEveryByte()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        w.Command5_Click();
        QTest::mouseClick(ui.Option1[1], Qt::LeftButton, {}, QPoint(10, 8));
        QCOMPARE(w.settings().ReceiveMode, qint16(1));
        f.comm->receive("\x05");
        f.comm->receive("\xFF");
        QCOMPARE(ui.Text2->text(), QStringLiteral(" 5 FF"));
        f.comm->receive(QByteArray("\x41\x0A\x00\x7F", 4));
        QCOMPARE(ui.Text2->text(), QStringLiteral(" 5 FF 41 A 0 7F"));

        w.Command5_Click();
        QTest::mouseClick(ui.Option1[2], Qt::LeftButton, {}, QPoint(10, 8));
        f.comm->receive("\x05");
        f.comm->receive("\xFF");
        f.comm->receive("AB");
        QCOMPARE(ui.Text2->text(), QStringLiteral(" 5 255 65 66"));

        // An empty read shows nothing.
        f.comm->notify(comEvReceive);
        QCOMPARE(ui.Text2->text(), QStringLiteral(" 5 255 65 66"));
    }

    void everyByteValueInEveryMode()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        for (qint16 mode = 0; mode < 3; ++mode) {
            w.Command5_Click();
            w.Option1_Click(mode);
            f.comm->receive(everyByte().left(100));
            f.comm->receive(everyByte().mid(100));
            QCOMPARE(ui.Text2->bytes(), *formatReceived(mode, everyByte()));
        }
    }

    void aModeChangeLeavesWhatIsShown()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        w.Command5_Click();
        QTest::mouseClick(ui.Option1[1], Qt::LeftButton, {}, QPoint(10, 8));
        f.comm->receive("A");
        QTest::mouseClick(ui.Option1[0], Qt::LeftButton, {}, QPoint(10, 8));
        f.comm->receive("A");
        QCOMPARE(ui.Text2->text(), QStringLiteral(" 41A"));
        w.Option1_Click(7); // not an option: nothing changes
        QCOMPARE(w.settings().ReceiveMode, qint16(0));
    }

    void errorEventsChangeNothing()
    {
        FormFixture f(true, [](FakeComm &c) { c.cts = true; });
        const Controls &ui = *f.ui;
        QVERIFY(!ui.Image6->isHidden());
        f.comm->cts = false; // dropped without its own event
        ui.Image2->setVisible(true);
        const QString before = ui.Text2->text();
        for (qint16 code : {1001, 1004, 1006, 1008, 1009, 1010, 1011, 6, 7, 0, 99})
            f.comm->notify(code);
        QCOMPARE(ui.Text2->text(), before);
        QVERIFY(!ui.Image2->isHidden());
        QVERIFY(!ui.Image6->isHidden()); // refreshed by nothing but its own event
        QVERIFY(f.messages.isEmpty());
    }

    void sendCompleteTurnsTxOff()
    {
        FormFixture f;
        f.ui->Image2->setVisible(true);
        f.comm->notify(comEvSend);
        QVERIFY(f.ui->Image2->isHidden());
    }

    void rxLampFollowsArrivals()
    {
        FormFixture f;
        f.comm->receive("x");
        QVERIFY(!f.ui->Image3->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(f.ui->Image3->isHidden(), 1000);
    }

    void clearButtons()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(ui.Command5, Qt::LeftButton);
        QCOMPARE(ui.Text2->text(), QString());
        ui.Text2->setFocus();
        QTest::mouseClick(ui.Command6, Qt::LeftButton);
        QCOMPARE(ui.Text1->toPlainText(), QString());
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(ui.Text1));
    }

    void dtrAndRtsFollowTheBoxes()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        QTest::mouseClick(ui.Check1, Qt::LeftButton);
        QVERIFY(f.comm->DTREnable());
        QTest::mouseClick(ui.Check1, Qt::LeftButton);
        QVERIFY(!f.comm->DTREnable());
        QTest::mouseClick(ui.Check2, Qt::LeftButton);
        QVERIFY(f.comm->RTSEnable());
        ui.Check2->setCheckState(Qt::PartiallyChecked); // grey counts as not ticked
        w.Check2_Click();
        QVERIFY(!f.comm->RTSEnable());
    }

    void loopBackPlugLightsTheLamps()
    {
        FormFixture f(true, [](FakeComm &c) { c.loopback = true; });
        const Controls &ui = *f.ui;
        QTest::mouseClick(ui.Check2, Qt::LeftButton);
        QTRY_VERIFY(!ui.Image6->isHidden());
        QTest::mouseClick(ui.Check2, Qt::LeftButton);
        QTRY_VERIFY(ui.Image6->isHidden());
        QTest::mouseClick(ui.Check1, Qt::LeftButton);
        QTRY_VERIFY(!ui.Image9->isHidden());
        QTRY_VERIFY(!ui.Image7->isHidden());
        QTest::mouseClick(ui.Check1, Qt::LeftButton);
        QTRY_VERIFY(ui.Image9->isHidden() && ui.Image7->isHidden());
    }

    void lineEventOnAClosedPortDarkensTheLamp()
    {
        FormFixture f(true, [](FakeComm &c) { c.cd = true; });
        QVERIFY(!f.ui->Image7->isHidden());
        f.comm->setPortOpen(false);
        f.comm->notify(comEvCD);
        QVERIFY(f.ui->Image7->isHidden());
        f.comm->notify(comEvReceive); // nothing to read, nothing thrown
    }

    // ---- the view ----------------------------------------------------------

    void everyByteValueRoundTrips()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.appendBytes(everyByte());
        v.appendBytes(everyByte());
        QCOMPARE(v.bytes(), everyByte() + everyByte());
        QCOMPARE(v.text().size(), 512);
        v.selectAll();
        QCOMPARE(v.selectedText(), QString::fromLatin1(everyByte() + everyByte()));
        v.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(everyByte() + everyByte()));
    }

    void lineBreaksStartRows()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.setText(QStringLiteral("A\r\nB\rC\nD"));
        QCOMPARE(v.rowCount(), 4);
        // A CR LF split across two arrivals is still one break.
        ReceiveView split;
        split.resize(300, 60);
        split.appendBytes("A\r");
        split.appendBytes("\nB");
        QCOMPARE(split.rowCount(), 2);
        QCOMPARE(split.text(), QStringLiteral("A\r\nB"));
        QCOMPARE(split.caretRect(4).y(), split.caretRect(3).y());
    }

    void longLinesWrapWithoutChangingTheText()
    {
        ReceiveView v;
        v.resize(300, 60);
        const QByteArray hex = QByteArray(" 41").repeated(500);
        for (int i = 0; i < 500; ++i)
            v.appendBytes(" 41");
        QVERIFY(v.rowCount() > 10);
        QCOMPARE(v.bytes(), hex);
        compareWithFreshLayout(v);
    }

    void editsKeepTheLayoutConsistent()
    {
        ReceiveView v;
        v.resize(280, 80);
        QRandomGenerator rng(7);
        QByteArray model;
        for (int i = 0; i < 200; ++i) {
            QByteArray chunk;
            const int n = int(rng.bounded(40));
            for (int k = 0; k < n; ++k) {
                const int r = int(rng.bounded(20));
                chunk.append(r == 0 ? '\r' : r == 1 ? '\n' : r < 5 ? ' ' : char('a' + r));
            }
            v.appendBytes(chunk);
            model += chunk;
        }
        for (int i = 0; i < 150; ++i) {
            const qint64 pos = rng.bounded(int(model.size()) + 1);
            v.setCursorPosition(pos);
            if (rng.bounded(3) == 0 && pos > 0) {
                v.setCursorPosition(pos - 1, true);
                v.insertText(QString());
                model.remove(pos - 1, 1);
            } else {
                const QString ins = rng.bounded(4) == 0 ? QStringLiteral("\r\n") : QStringLiteral("xy z");
                v.insertText(ins);
                model.insert(pos, ins.toLatin1());
            }
            QCOMPARE(v.bytes(), model);
        }
        compareWithFreshLayout(v);
    }

    void typingEditsTheBox()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.setText(QStringLiteral("abc\r\ndef"));
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        v.setCursorPosition(5); // start of the second line
        QTest::keyClick(&v, Qt::Key_Backspace); // the CR LF goes as one break
        QCOMPARE(v.text(), QStringLiteral("abcdef"));
        QTest::keyClicks(&v, QStringLiteral("XY"));
        QCOMPARE(v.text(), QStringLiteral("abcXYdef"));
        QTest::keyClick(&v, Qt::Key_Return);
        QCOMPARE(v.text(), QStringLiteral("abcXY\r\ndef"));
        QTest::keyClick(&v, Qt::Key_Home);
        QTest::keyClick(&v, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(v.selectedText(), QStringLiteral("def"));
        QTest::keyClick(&v, Qt::Key_Delete);
        QCOMPARE(v.text(), QStringLiteral("abcXY\r\n"));
        v.insertText(QStringLiteral("\u20AC")); // above 255: one '?'
        QCOMPARE(v.text(), QStringLiteral("abcXY\r\n?"));
        QGuiApplication::clipboard()->setText(QString::fromLatin1("p\0q", 3));
        QTest::keyClick(&v, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(v.bytes(), QByteArray("abcXY\r\n?p\0q", 11));
        QTest::keyClick(&v, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(v.selectedText().size(), 11);
    }

    // On a wrapped row, End and a click past the row's end stay on the row,
    // before the blank where it wrapped, as in a stock text box.
    void wrappedRowsEndOnTheirOwnRow()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QString words;
        while (v.rowCount() < 3) {
            words += QStringLiteral("word ");
            v.setText(words);
        }
        const qint64 second = v.rowRange(1).first;
        QCOMPARE(v.text().at(second - 1), QLatin1Char(' '));
        v.setCursorPosition(0);
        QTest::keyClick(&v, Qt::Key_End);
        QCOMPARE(v.cursorPosition(), second - 1);
        QCOMPARE(v.caretRect(v.cursorPosition()).y(), v.caretRect(0).y());
        QCOMPARE(v.offsetAt(QPoint(v.viewport()->width() - 2, v.caretRect(0).center().y())), second - 1);
    }

    void mouseSelects()
    {
        ReceiveView v;
        v.resize(300, 60);
        v.setText(QStringLiteral("hello world"));
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        const QPoint start = v.caretRect(0).center() + QPoint(1, 0);
        const QPoint end = v.caretRect(5).center();
        QTest::mousePress(v.viewport(), Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, end, v.viewport()->mapToGlobal(end), Qt::NoButton, Qt::LeftButton, {});
        QApplication::sendEvent(v.viewport(), &move);
        QTest::mouseRelease(v.viewport(), Qt::LeftButton, {}, end);
        QCOMPARE(v.selectedText(), QStringLiteral("hello"));
    }

    void followsTheEndUnlessScrolledUp()
    {
        ReceiveView v;
        v.resize(300, 60);
        for (int i = 0; i < 50; ++i)
            v.appendBytes("line\r\n");
        QScrollBar *sb = v.verticalScrollBar();
        QTRY_VERIFY(sb->maximum() > 0); // shown within a frame
        QCOMPARE(sb->value(), sb->maximum());
        sb->setValue(3); // the user scrolls up to read
        for (int i = 0; i < 50; ++i)
            v.appendBytes("more\r\n");
        v.refreshNow();
        QCOMPARE(sb->value(), 3);
        QCOMPARE(sb->maximum(), int(v.rowCount()) - sb->pageStep());
        sb->setValue(sb->maximum()); // back at the end: following again
        v.appendBytes("last\r\n");
        QTRY_COMPARE(sb->maximum(), int(v.rowCount()) - sb->pageStep());
        QCOMPARE(sb->value(), sb->maximum());
    }

    void arrivalsAreShownOncePerFrame()
    {
        ReceiveView v;
        v.resize(300, 60);
        PaintCounter viewport(v.viewport());
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QTest::qWait(50);
        viewport.paints = 0;
        for (int i = 0; i < 200; ++i) {
            v.appendBytes("data ");
            QCoreApplication::processEvents();
        }
        QVERIFY2(viewport.paints <= 2, qPrintable(QString::number(viewport.paints)));
        QTRY_VERIFY(viewport.paints >= 1);
        QCOMPARE(v.length(), 1000);
    }

    void theScrollBarRepaintsOnlyWhenItsPictureChanges()
    {
        ReceiveView v;
        v.resize(300, 60);
        QScrollBar *sb = v.verticalScrollBar();
        PaintCounter bar(sb);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        // What the screen shows of the bar must be what a plain bar in the
        // same state paints.
        const auto frame = [&] {
            v.refreshNow();
            QCoreApplication::processEvents();
            QScrollBar plain(Qt::Vertical, &v);
            plain.resize(sb->size());
            plain.setRange(sb->minimum(), sb->maximum());
            plain.setPageStep(sb->pageStep());
            plain.setValue(sb->value());
            const QPoint at = sb->mapTo(&v, QPoint(0, 0));
            const QImage shown = v.screen()->grabWindow(v.winId(), at.x(), at.y(), sb->width(), sb->height()).toImage();
            return shown.convertToFormat(QImage::Format_RGB32)
                   == plain.grab().toImage().convertToFormat(QImage::Format_RGB32);
        };
        const auto lines = [&](int n) {
            for (int i = 0; i < n; ++i)
                v.appendBytes("line\r\n");
        };
        const std::pair<const char *, std::function<void()>> steps[] = {
            {"a few rows", [&] { lines(3); }},
            {"many rows, following the end", [&] { lines(400); }},
            {"the user scrolls to the top", [&] { sb->setValue(0); }},
            {"rows arrive while scrolled up", [&] { lines(50); }},
            {"back at the end", [&] { sb->setValue(sb->maximum()); }},
            {"rows arrive at the end", [&] { lines(50); }},
            {"cleared", [&] { v.clear(); }},
            {"one row", [&] { lines(1); }},
        };
        for (const auto &[name, step] : steps) {
            step();
            QVERIFY2(frame(), name);
        }
        // A stream at the end leaves a small handle at the bottom as it was.
        lines(400);
        QVERIFY(frame());
        bar.paints = 0;
        for (int i = 0; i < 20; ++i) {
            lines(20);
            QVERIFY(frame());
        }
        QCOMPARE(bar.paints, 0);
        QCOMPARE(sb->value(), sb->maximum());
    }

    void screenReadersReadTheText()
    {
        ReceiveView v;
        v.setAccessibleName(QStringLiteral("Stringa ricevuta"));
        v.setText(QStringLiteral("AB\r\nC"));
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(&v);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Stringa ricevuta"));
        QVERIFY(a->textInterface());
        QCOMPARE(a->textInterface()->characterCount(), 5);
        QCOMPARE(a->textInterface()->text(0, 5), QStringLiteral("AB\r\nC"));
        QCOMPARE(a->text(QAccessible::Value), QStringLiteral("AB\r\nC"));
        a->textInterface()->setSelection(0, 1, 4);
        QCOMPARE(v.selectedText(), QStringLiteral("B\r\n"));
        a->textInterface()->setSelection(0, 1, 3); // a selection never splits a CR LF
        QCOMPARE(v.selectedText(), QStringLiteral("B"));
    }
};

QTEST_MAIN(TestReceive)
#include "tst_receive.moc"
