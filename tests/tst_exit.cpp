#include "FormFixture.h"

#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTest>

using namespace corvanel;

namespace {

enum class When { Idle, DuringLoop, DuringPacedHexSend };

// A click as the window system queues it: a press and a release.
void postClick(QWidget *w)
{
    const QPointF at = QRectF(w->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(w, new QMouseEvent(type, at, w->mapToGlobal(at), Qt::LeftButton,
                                                       type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                       Qt::NoModifier));
}

} // namespace

class TestExit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Exit (or the title bar's close) is queued, and behind it clicks on
    // "Invia ASCI" and "Invia Dec.", a key typed into the receive box, a
    // choice from a list and data arriving:
    // none of them runs once Exit has been handled, whether the program was
    // idle or yielding inside a send.
    void nothingRunsOnceExitIsHandled_data()
    {
        QTest::addColumn<When>("when");
        QTest::addColumn<bool>("byClose");
        QTest::newRow("idle, Exit") << When::Idle << false;
        QTest::newRow("idle, title bar's close") << When::Idle << true;
        QTest::newRow("during a send loop, Exit") << When::DuringLoop << false;
        QTest::newRow("during a send loop, title bar's close") << When::DuringLoop << true;
        QTest::newRow("during a paced hex send, Exit") << When::DuringPacedHexSend << false;
    }

    void nothingRunsOnceExitIsHandled()
    {
        QFETCH(When, when);
        QFETCH(bool, byClose);
        FormFixture f;
        const Controls &ui = *f.ui;
        f.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.form.get()));
        // Not a number, so "Invia Dec." would complain; valid pairs for "Invia HEX".
        ui.Text1->setPlainText(QStringLiteral("01 02 03 04"));
        ui.Check3->setChecked(true);
        const QString received = ui.Text2->text();
        const int opens = f.comm->opens;
        qsizetype writes = -1;
        const auto queueExitAndMore = [&] {
            writes = f.comm->writes.size();
            if (byClose)
                QCoreApplication::postEvent(f.form.get(), new QCloseEvent);
            else
                postClick(ui.Command4);
            postClick(ui.Command3);
            postClick(ui.Command8);
            QCoreApplication::postEvent(
                ui.Text2, new QKeyEvent(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, QStringLiteral("q")));
            QMetaObject::invokeMethod(
                ui.Combo2, [&] { FormFixture::choose(ui.Combo2, QStringLiteral("19200")); }, Qt::QueuedConnection);
            QMetaObject::invokeMethod(
                f.comm, [&] { f.comm->receive("z"); }, Qt::QueuedConnection);
        };
        switch (when) {
        case When::Idle:
            queueExitAndMore();
            QCoreApplication::processEvents();
            break;
        case When::DuringLoop:
        case When::DuringPacedHexSend:
            connect(f.comm, &FakeComm::wrote, f.form.get(), [&] {
                if (f.comm->writes.size() == 2)
                    queueExitAndMore();
            });
            if (when == When::DuringLoop)
                f.form->Command1_Click();
            else
                f.form->Command9_Click();
            break;
        }
        QCOMPARE(f.programEnds, 1);
        QVERIFY(f.form->ended());
        QCOMPARE(f.messages, QStringList());
        QVERIFY(!f.comm->PortOpen());
        QCOMPARE(f.comm->opens, opens);
        QCOMPARE(f.comm->writes.size(), writes);
        QCOMPARE(ui.Text2->text(), received);
        QCOMPARE(ui.Label5->text(), QStringLiteral("9600,N,8,1"));
    }

    // No dialog appears once the program has ended, even from a handler that
    // was already running when Exit came (here, inside the save dialog).
    void noMessageAfterTheEnd()
    {
        FormFixture f;
        setFileNameHandler([&](QObject *) {
            f.form->Command4_Click();
            return QDir::temp().filePath(QStringLiteral("no such folder/log.txt"));
        });
        Q_EMIT f.ui->Text2->saveRequested();
        setFileNameHandler({});
        QCOMPARE(f.programEnds, 1);
        QCOMPARE(f.messages, QStringList());
    }
};

QTEST_MAIN(TestExit)
#include "tst_exit.moc"
