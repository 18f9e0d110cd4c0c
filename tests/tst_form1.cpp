#include "FormFixture.h"
#include "CaretRest.h"
#include "ControlTable.h"
#include "ReceiveView.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QCheckBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <vector>

using namespace corvanel;

namespace {
// Counts the wheel events that reach the object it watches.
struct WheelCounter : QObject
{
    int &count;
    explicit WheelCounter(int &c) : count(c) {}
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Wheel)
            ++count;
        return false;
    }
};

// The help window, while it is open.
QWidget *openHelpWindow()
{
    const auto tops = QApplication::topLevelWidgets();
    for (QWidget *w : tops) {
        if (w->objectName() == QLatin1String("Form2") && w->isVisible())
            return w;
    }
    return nullptr;
}
} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUpOnAWorkingPort()
    {
        FormFixture f(true, [](FakeComm &c) { c.dsr = true; });
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(ui.Label5->text(), QStringLiteral("9600,N,8,1"));
        QVERIFY(f.comm->PortOpen());
        QCOMPARE(f.comm->Settings(), QStringLiteral("9600,N,8,1"));
        QCOMPARE(f.comm->CommPort(), qint16(1));
        QCOMPARE(ui.Combo1->currentText(), QStringLiteral("1"));
        QCOMPARE(ui.Combo2->currentText(), QStringLiteral("9600"));
        QCOMPARE(ui.Combo3->currentText(), QStringLiteral("N"));
        QCOMPARE(ui.Combo4->currentText(), QStringLiteral("8"));
        QVERIFY(ui.Option1[0]->isChecked());
        QVERIFY(!ui.Option1[1]->isChecked() && !ui.Option1[2]->isChecked());
        for (QCheckBox *c : {ui.Check1, ui.Check2, ui.Check3})
            QCOMPARE(c->checkState(), Qt::Unchecked);
        QCOMPARE(ui.Text3->text(), QStringLiteral("100"));
        QCOMPARE(ui.Command1->text(), QStringLiteral("Invia loop"));
        QCOMPARE(ui.Text1->toPlainText(), QStringLiteral("Digita qui la stringa da inviare e premi invia"));
        QVERIFY(!w.LoopActive());
        QCOMPARE(w.settings().ReceiveMode, qint16(0));
        // TX and RX red; a line asserted before start-up lights its lamp at once.
        QVERIFY(ui.Image2->isHidden());
        QVERIFY(ui.Image3->isHidden());
        QVERIFY(!ui.Image9->isHidden());
        QVERIFY(ui.Image7->isHidden());
        QVERIFY(ui.Image6->isHidden());
        // Unlit images always show beneath.
        for (QLabel *unlit : {ui.Image1, ui.Image4, ui.Image5, ui.Image8, ui.Image10})
            QVERIFY(!unlit->isHidden());

        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(ui.Text1));
    }

    void startUpWithoutPortOne()
    {
        FormFixture f(true, [](FakeComm &c) {
            c.devices.clear();
            c.cd = c.cts = c.dsr = true;
        });
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta inesistente")});
        QVERIFY(!f.comm->PortOpen());
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("9600,N,8,1"));
        // The lines of a closed port cannot be read: the lamps stay red.
        QVERIFY(f.ui->Image7->isHidden() && f.ui->Image6->isHidden() && f.ui->Image9->isHidden());
        QVERIFY(!f.form->LoopActive());
    }

    void listsReconfigureThePort()
    {
        FormFixture f;
        FormFixture::choose(f.ui->Combo2, QStringLiteral("115200"));
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("115200,N,8,1"));
        FormFixture::choose(f.ui->Combo3, QStringLiteral("E"));
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("115200,E,8,1"));
        FormFixture::choose(f.ui->Combo4, QStringLiteral("7"));
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("115200,E,7,1"));
        QCOMPARE(f.comm->Settings(), QStringLiteral("115200,E,7,1"));
        QVERIFY(f.comm->PortOpen());
        QVERIFY(f.messages.isEmpty());
    }

    void choosingTheCurrentValueStillReopens()
    {
        FormFixture f;
        const int opens = f.comm->opens;
        const int closes = f.comm->closes;
        FormFixture::choose(f.ui->Combo2, QStringLiteral("9600"));
        QCOMPARE(f.comm->closes, closes + 1);
        QCOMPARE(f.comm->opens, opens + 1);
        QVERIFY(f.comm->PortOpen());
    }

    void aMissingPortLeavesItClosedUntilAnotherChoice()
    {
        FormFixture f;
        FormFixture::choose(f.ui->Combo1, QStringLiteral("5"));
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta inesistente")});
        QVERIFY(!f.comm->PortOpen());
        FormFixture::choose(f.ui->Combo2, QStringLiteral("19200"));
        QCOMPARE(f.messages.size(), 2); // still port 5
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("19200,N,8,1"));
        FormFixture::choose(f.ui->Combo1, QStringLiteral("1"));
        QCOMPARE(f.messages.size(), 2);
        QVERIFY(f.comm->PortOpen());
        QCOMPARE(f.comm->Settings(), QStringLiteral("19200,N,8,1"));
    }

    void aRejectedSettingsStringStaysShownAndIsRetried()
    {
        FormFixture f(true, [](FakeComm &c) { c.refusedSettings = QStringLiteral("9600,N,6,1"); });
        FormFixture::choose(f.ui->Combo4, QStringLiteral("6"));
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta inesistente")});
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("9600,N,6,1"));
        QVERIFY(!f.comm->PortOpen());
        FormFixture::choose(f.ui->Combo1, QStringLiteral("1"));
        QCOMPARE(f.messages.size(), 2); // the new value is kept and tried again
        FormFixture::choose(f.ui->Combo4, QStringLiteral("8"));
        QCOMPARE(f.messages.size(), 2);
        QVERIFY(f.comm->PortOpen());
    }

    void exitClosesThePortAndEnds()
    {
        FormFixture f;
        f.form->show();
        f.form->Command7_Click();
        QVERIFY(openHelpWindow());
        QTest::mouseClick(f.ui->Command4, Qt::LeftButton);
        QVERIFY(!f.comm->PortOpen());
        QCOMPARE(f.programEnds, 1);
        QVERIFY(f.form->ended());
        QVERIFY(!f.form->isVisible());
        QTRY_VERIFY(!openHelpWindow());
    }

    void closingTheWindowIsExit()
    {
        FormFixture f;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        f.form->close();
        QVERIFY(!f.comm->PortOpen());
        QCOMPARE(f.programEnds, 1);
    }

    void portListTooltipNamesTheDevices()
    {
        FormFixture f(true, [](FakeComm &c) {
            c.devices = {QStringLiteral("/dev/ttyS0"), QStringLiteral("/dev/ttyUSB0")};
        });
        f.form->show();
        QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), f.ui->Combo1->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(f.ui->Combo1, &tip);
        QCOMPARE(f.ui->Combo1->toolTip(), QStringLiteral("1 = /dev/ttyS0\n2 = /dev/ttyUSB0"));
        f.comm->devices.clear();
        QApplication::sendEvent(f.ui->Combo1, &tip);
        QCOMPARE(f.ui->Combo1->toolTip(), QStringLiteral("Nessuna porta seriale trovata"));
    }

    // The wheel over a list without the focus changes nothing and goes on to
    // the window; with the focus, each notch is a choice, as an arrow key.
    void wheelOverAList()
    {
        FormFixture f;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        int reachedWindow = 0;
        WheelCounter counter(reachedWindow);
        f.form->installEventFilter(&counter);
        QComboBox *speed = f.ui->Combo2;
        const auto turn = [&](int angle) {
            // As the window system delivers it: to the widget under the
            // pointer (the list's text field), from where it may go on up.
            const QPoint at = speed->rect().center();
            QWidget *under = speed->childAt(at) ? speed->childAt(at) : speed;
            const QPointF local = under->mapFrom(speed, at);
            QWheelEvent e(local, under->mapToGlobal(local), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&e);
            qApp->notify(under, &e); // as QTest delivers input: sendEvent would drop "spontaneous"
        };
        const int opens = f.comm->opens;
        QVERIFY(f.ui->Text1->hasFocus());
        for (int i = 0; i < 3; ++i)
            turn(-120);
        QCOMPARE(speed->currentText(), QStringLiteral("9600"));
        QCOMPARE(f.comm->opens, opens);
        QCOMPARE(reachedWindow, 3);

        speed->setFocus();
        for (int i = 0; i < 3; ++i)
            turn(-120);
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("28800,N,8,1"));
        QCOMPARE(f.comm->opens, opens + 3);
        turn(60); // half a notch of a fine wheel: nothing yet
        QCOMPARE(f.comm->opens, opens + 3);
        turn(60);
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("19200,N,8,1"));
        QCOMPARE(f.comm->opens, opens + 4);
        QCOMPARE(reachedWindow, 3);
        QVERIFY(f.messages.isEmpty());
    }

    // Without input the caret stops blinking (no wake-ups while idle); the
    // next key makes it blink again.
    void caretRestsWithoutInput()
    {
        const int flash = QApplication::cursorFlashTime();
        QVERIFY(flash > 0);
        {
            CaretRest rest(30);
            QTRY_COMPARE(QApplication::cursorFlashTime(), 0);
            QLineEdit edit;
            QTest::keyClick(&edit, Qt::Key_A);
            QCOMPARE(QApplication::cursorFlashTime(), flash);
            QTRY_COMPARE(QApplication::cursorFlashTime(), 0);
        }
        QCOMPARE(QApplication::cursorFlashTime(), flash);
    }

    void clickingThePauseBoxRunsNoCode()
    {
        FormFixture f;
        const qsizetype writes = f.comm->writes.size();
        QTest::mouseClick(f.ui->Check3, Qt::LeftButton);
        QCOMPARE(f.ui->Check3->checkState(), Qt::Checked);
        QCOMPARE(f.comm->writes.size(), writes);
        QVERIFY(f.messages.isEmpty());
    }

    void everyCaptionFitsItsBox()
    {
        FormFixture f;
        const auto widgets = f.form->findChildren<QWidget *>();
        int checked = 0;
        for (QWidget *w : widgets) {
            QString text;
            int room = w->width();
            if (auto *l = qobject_cast<QLabel *>(w)) {
                text = l->text();
            } else if (auto *b = qobject_cast<QPushButton *>(w)) {
                text = b->text();
                room -= 4; // the button's frame
            } else if (auto *r = qobject_cast<QRadioButton *>(w)) {
                text = r->text();
                room -= 20; // the round indicator and its gap
            }
            if (text.isEmpty())
                continue;
            const QFontMetrics fm(w->font());
            QVERIFY2(fm.horizontalAdvance(text) <= room, qPrintable(QStringLiteral("%1 \"%2\" needs %3 px, has %4")
                                                                        .arg(w->objectName(), text)
                                                                        .arg(fm.horizontalAdvance(text))
                                                                        .arg(room)));
            QVERIFY2(fm.height() <= w->height(), qPrintable(w->objectName()));
            ++checked;
        }
        QVERIFY(checked >= 25);
    }

    void builtAsItsTable()
    {
        // Every row of the window's table is one control, in its box; the
        // Tab key visits the controls that take the focus in the table's order
        // and comes back to the first.
        FormFixture f;
        std::vector<std::pair<int, QString>> focusOrder;
        for (const ControlRow &row : Form1Controls) {
            const QString name = QString::fromLatin1(row.name);
            const auto found = f.form->findChildren<QWidget *>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            const auto &b = row.box;
            QCOMPARE(found.first()->geometry(), QRect(b.left / 15, b.top / 15, b.width / 15, b.height / 15));
            if (found.first()->focusPolicy() & Qt::TabFocus)
                focusOrder.emplace_back(row.tab, name);
        }
        std::sort(focusOrder.begin(), focusOrder.end());
        QCOMPARE(focusOrder.size(), std::size_t(21));

        f.form->show();
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        f.ui->Text1->setFocus();
        for (const auto &[tab, name] : focusOrder) {
            // The option buttons are one stop, at the one selected.
            const auto *option = f.form->findChild<QRadioButton *>(name);
            if (option && !option->isChecked())
                continue;
            QWidget *focus = QApplication::focusWidget();
            while (focus && focus->parentWidget() != f.form.get())
                focus = focus->parentWidget();
            QVERIFY(focus);
            QCOMPARE(focus->objectName(), name);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(QApplication::focusWidget(), f.ui->Text1);
    }

    void controlsWithoutTextHaveAccessibleNames()
    {
        FormFixture f;
        const Controls &ui = *f.ui;
        const QList<QWidget *> unnamed = {ui.Text1, ui.Text2, ui.Text3, ui.Check1, ui.Check2, ui.Check3};
        for (QWidget *c : unnamed)
            QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
        QCOMPARE(ui.Text1->accessibleName(), QStringLiteral("Stringa da inviare"));
        QCOMPARE(ui.Text2->accessibleName(), QStringLiteral("Stringa ricevuta"));
        QCOMPARE(ui.Check1->accessibleName(), QStringLiteral("DTR"));
        // A lamp is named by its unlit image, which always shows (tst_accessibility).
        QCOMPARE(QAccessible::queryAccessibleInterface(ui.Image1)->text(QAccessible::Name),
                 QStringLiteral("TX spento"));
    }

    void windowIsFixedAndTitled()
    {
        FormFixture f;
        QCOMPARE(f.form->size(), QSize(369, 304));
        QCOMPARE(f.form->minimumSize(), f.form->maximumSize());
        QVERIFY(!(f.form->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(f.form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(f.form->windowTitle(),
                 QStringLiteral("Corvanel ver 1.6  -email: corvanel@example.org    www.example.org/corvanel"));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
