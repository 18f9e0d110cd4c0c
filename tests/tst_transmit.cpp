#include "FormFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace corvanel;

namespace {

void post(QAbstractButton *button)
{
    QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}

template <typename F>
void postCall(QObject *context, F &&f)
{
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}

} // namespace

class TestTransmit : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // ---- one-shot sends ----------------------------------------------------

    void textSendPutsLineBreaksAsCrLf()
    {
        FormFixture f;
        f.ui->Text1->setPlainText(QStringLiteral("AB\nC"));
        f.comm->writes.clear();
        QTest::mouseClick(f.ui->Command3, Qt::LeftButton);
        QCOMPARE(f.comm->writes, QList<QByteArray> {QByteArray("AB\r\nC")});
        QVERIFY(!f.ui->Image2->isHidden());
        QTRY_VERIFY(f.ui->Image2->isHidden()); // the send-complete notification

        // Typed with the keyboard, too.
        f.ui->Text1->clear();
        f.ui->Text1->setFocus();
        QTest::keyClicks(f.ui->Text1, QStringLiteral("x"));
        QTest::keyClick(f.ui->Text1, Qt::Key_Return);
        QTest::keyClicks(f.ui->Text1, QStringLiteral("y"));
        f.form->Command3_Click();
        QCOMPARE(f.comm->writes.last(), QByteArray("x\r\ny"));
    }

    void textSendOfAnEmptyBox()
    {
        FormFixture f;
        f.ui->Text1->clear();
        f.form->Command3_Click();
        QVERIFY(f.comm->written().isEmpty());
        QVERIFY(!f.ui->Image2->isHidden());
        QVERIFY(f.messages.isEmpty());
    }

    void textSendOnAClosedPort()
    {
        FormFixture f(true, [](FakeComm &c) { c.devices.clear(); });
        f.messages.clear();
        f.form->Command3_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta errata")});
        QVERIFY(!f.ui->Image2->isHidden()); // stays on
    }

    void decimalSend_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("65") << "65" << QByteArray("A");
        QTest::newRow("0") << "0" << QByteArray(1, '\0');
        QTest::newRow("255") << "255" << QByteArray("\xFF");
        QTest::newRow("blanks") << "  65 " << QByteArray("A");
        QTest::newRow("256") << "256" << QByteArray();
        QTest::newRow("-1") << "-1" << QByteArray();
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("abc") << "abc" << QByteArray();
        QTest::newRow("65 66") << "65 66" << QByteArray();
    }
    void decimalSend()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        FormFixture f;
        f.ui->Text1->setPlainText(text);
        f.comm->writes.clear();
        f.ui->Image2->setVisible(false);
        QTest::mouseClick(f.ui->Command8, Qt::LeftButton);
        QCOMPARE(f.comm->written(), sent);
        QCOMPARE(f.comm->writes.size(), sent.isEmpty() ? 0 : 1);
        QCOMPARE(f.messages, sent.isEmpty() ? QStringList {QStringLiteral("Inserire numeri decimali")} : QStringList());
        QVERIFY(f.ui->Image2->isHidden()); // never touched
    }

    void decimalSendOnAClosedPort()
    {
        FormFixture f(true, [](FakeComm &c) { c.devices.clear(); });
        f.messages.clear();
        f.ui->Text1->setPlainText(QStringLiteral("65"));
        f.form->Command8_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Inserire numeri decimali")});
    }

    void hexSend_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("final space") << "02 34 FE 1A " << QByteArray("\x02\x34\xFE\x1A");
        QTest::newRow("no final space") << "02 34 FE 1A" << QByteArray("\x02\x34\xFE\x1A");
        QTest::newRow("fixed positions") << "02 3456" << QByteArray("\x02\x34\x06");
        QTest::newRow("GG 12") << "GG 12" << QByteArray("\x00\x12", 2);
        QTest::newRow("line break is two characters") << "02 \n12" << QByteArray("\x02\x00\x02", 3);
    }
    void hexSend()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        FormFixture f;
        f.ui->Text1->setPlainText(text);
        f.comm->writes.clear();
        QTest::mouseClick(f.ui->Command9, Qt::LeftButton);
        QCOMPARE(f.comm->written(), sent);
        QCOMPARE(f.comm->writes.size(), sent.size()); // one write per byte
        QVERIFY(f.messages.isEmpty());
        QVERIFY(f.sleeps.isEmpty());
    }

    void hexSendFormatCheck()
    {
        for (const QString &text : {QStringLiteral("0234"), QStringLiteral("02"), QString(), QStringLiteral("02-34")}) {
            FormFixture f;
            f.ui->Text1->setPlainText(text);
            f.comm->writes.clear();
            f.form->Command9_Click();
            QVERIFY(f.comm->writes.isEmpty());
            QCOMPARE(f.messages, QStringList {QStringLiteral("2 CARATTERI E 1 SPAZIO es: 02 34 FE 1A ")});
        }
    }

    void hexSendOnAClosedPortSaysSoOnce()
    {
        FormFixture f(true, [](FakeComm &c) { c.devices.clear(); });
        f.messages.clear();
        f.ui->Text1->setPlainText(QStringLiteral("01 02 03"));
        f.form->Command9_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta errata")});
    }

    void pausedHexSendSleepsAfterEveryByte()
    {
        FormFixture f;
        f.ui->Text1->setPlainText(QStringLiteral("02 34 FE 1A"));
        f.ui->Check3->setChecked(true);
        f.form->Command9_Click();
        QCOMPARE(f.sleeps, (QList<qint32> {100, 100, 100, 100})); // the last byte too: 400 ms at least
        f.sleeps.clear();
        f.ui->Text3->setText(QStringLiteral("abc"));
        f.form->Command9_Click();
        QCOMPARE(f.sleeps, (QList<qint32> {0, 0, 0, 0})); // not a number: no pause
        f.sleeps.clear();
        f.ui->Text3->setText(QStringLiteral("-50"));
        f.form->Command9_Click();
        QCOMPARE(f.sleeps, (QList<qint32> {0, 0, 0, 0}));
    }

    void hexSendYieldsOnlyWithThePause()
    {
        FormFixture f;
        f.ui->Text1->setPlainText(QStringLiteral("01 02"));
        bool handled = false;
        postCall(f.form.get(), [&] { handled = true; });
        f.form->Command9_Click();
        QVERIFY(!handled);
        f.ui->Check3->setChecked(true);
        f.form->Command9_Click();
        QVERIFY(handled);
    }

    void aShortenedBoxSendsZeros()
    {
        FormFixture f;
        f.ui->Text1->setPlainText(QStringLiteral("02 34 56"));
        f.ui->Check3->setChecked(true);
        f.comm->writes.clear();
        postCall(f.form.get(), [&] { f.ui->Text1->setPlainText(QStringLiteral("02")); });
        f.form->Command9_Click();
        QCOMPARE(f.comm->written(), QByteArray("\x02\x00\x00", 3));
    }

    void exitDuringAPausedHexSend()
    {
        FormFixture f;
        f.ui->Text1->setPlainText(QStringLiteral("01 02 03 04"));
        f.ui->Check3->setChecked(true);
        f.comm->writes.clear();
        post(f.ui->Command4);
        f.form->Command9_Click();
        QCOMPARE(f.comm->written(), QByteArray("\x01"));
        QCOMPARE(f.programEnds, 1);
        QVERIFY(!f.comm->PortOpen());
    }

    // ---- the loop ----------------------------------------------------------

    void loopRunsUntilStoppedThenSendsTwiceMore()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("ping"));
        f.comm->writes.clear();
        QStringList captions;
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            captions << ui.Command1->text();
            if (f.comm->writes.size() == 5)
                post(ui.Command1);
        });
        QCOMPARE(ui.Command1->text(), QStringLiteral("Invia loop"));
        QTest::mouseClick(ui.Command1, Qt::LeftButton);
        QCOMPARE(f.comm->writes.size(), 7);
        for (const QByteArray &b : f.comm->writes)
            QCOMPARE(b, QByteArray("ping"));
        QCOMPARE(captions.first(), QStringLiteral("Stop Loop"));
        QCOMPARE(ui.Command1->text(), QStringLiteral("Invia Loop"));
        QVERIFY(!w.LoopActive());
        pumpEventsBriefly();
        QCOMPARE(f.comm->writes.size(), 7); // none after that
    }

    void textSendDuringALoop()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("L"));
        f.comm->writes.clear();
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 3) {
                post(ui.Command3);
                postCall(&w, [&] { ui.Text1->setPlainText(QStringLiteral("M")); });
            }
            if (f.comm->writes.size() == 6)
                post(ui.Command1);
        });
        w.Command1_Click();
        // The "Invia ASCI" write slipped in between two passes; edits apply from the next pass.
        QCOMPARE(f.comm->writes, (QList<QByteArray> {"L", "L", "L", "L", "M", "M", "M", "M"}));
    }

    void emptyBoxLoopKeepsRunning()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->clear();
        f.comm->writes.clear();
        int passes = 0;
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (++passes == 20)
                postCall(&w, [&] { ui.Text1->setPlainText(QStringLiteral("go")); });
            if (f.comm->written().size() == 6)
                post(ui.Command1);
        });
        w.Command1_Click();
        QCOMPARE(f.comm->written(), QByteArray("gogogogogo").left(f.comm->written().size()));
        QVERIFY(passes > 20);
    }

    void txLampTimeline()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("t"));
        QList<bool> lit;
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            lit << !ui.Image2->isHidden();
            if (f.comm->writes.size() == 4)
                post(ui.Command1);
        });
        f.comm->writes.clear();
        w.Command1_Click();
        QCOMPARE(lit.first(), true); // on at the click
        QCOMPARE(lit.at(2), false); // off at the first send-complete, and stays off
        QCOMPARE(lit.at(3), false);
        // The decimal and hex sends never turn it on.
        QTRY_VERIFY(ui.Image2->isHidden());
        ui.Text1->setPlainText(QStringLiteral("65"));
        w.Command8_Click();
        QVERIFY(ui.Image2->isHidden());
    }

    void loopWaitsForASlowPort()
    {
        FormFixture f(true, [](FakeComm &c) { c.slowPort = true; });
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        const QString text(100, u'z');
        ui.Text1->setPlainText(text);
        QTimer drain;
        connect(&drain, &QTimer::timeout, f.comm, [&] { f.comm->drain(64); });
        drain.start(2);
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 60)
                post(ui.Command1);
        });
        w.Command1_Click();
        QCOMPARE(f.comm->writes.size(), 62);
        QVERIFY2(f.comm->maxQueued <= MSComm::OutBufferSize + text.size(),
                 qPrintable(QString::number(f.comm->maxQueued)));
    }

    void aRefusedWriteEndsTheLoopWithOneMessage()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("x"));
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 3) {
                // The port goes away, then a stopping click nests a second
                // activation: both find the port gone, one message is shown.
                postCall(&w, [&] { f.comm->failWrites = true; });
                post(ui.Command1);
            }
        });
        f.comm->writes.clear();
        w.Command1_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Porta errata")});
        QVERIFY(!w.LoopActive());
        QCOMPARE(ui.Command1->text(), QStringLiteral("Invia Loop"));
        QCOMPARE(f.comm->writes.size(), 3);
        // A new loop works once the port is back.
        f.comm->failWrites = false;
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 5)
                post(ui.Command1);
        });
        w.Command1_Click();
        QCOMPARE(f.comm->writes.size(), 7);
    }

    void exitDuringALoopStopsAtOnce()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("e"));
        f.comm->writes.clear();
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 3)
                post(ui.Command4);
        });
        w.Command1_Click();
        QCOMPARE(f.comm->writes.size(), 3);
        QCOMPARE(f.programEnds, 1);
        QVERIFY(!f.comm->PortOpen());
        QVERIFY(f.messages.isEmpty());
    }

    // ---- bad input ---------------------------------------------------------

    void aMegabytePastedThenEverySend()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        QString big;
        big.reserve(1 << 20);
        while (big.size() < (1 << 20))
            big += QStringLiteral("4F ");
        big.truncate(1 << 20);
        ui.Text1->setPlainText(big);
        f.comm->writes.clear();

        w.Command3_Click();
        QCOMPARE(f.comm->writes.size(), 1);
        QCOMPARE(f.comm->writes.first().size(), big.size());

        w.Command8_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Inserire numeri decimali")});

        f.comm->writes.clear();
        w.Command9_Click();
        QCOMPARE(f.comm->writes.size(), (big.size() + 2) / 3);
        QCOMPARE(f.comm->writes.at(f.comm->writes.size() - 2), QByteArray("\x4F"));
        QCOMPARE(f.comm->writes.last(), QByteArray("\x04")); // the box ends on one digit

        f.comm->writes.clear();
        connect(f.comm, &FakeComm::wrote, &w, [&] {
            if (f.comm->writes.size() == 3)
                post(ui.Command1);
        });
        w.Command1_Click();
        QCOMPARE(f.comm->writes.size(), 5);
        QCOMPARE(f.comm->writes.last().size(), big.size());
    }

    void charactersAbove255()
    {
        FormFixture f;
        Form1 &w = *f.form;
        const Controls &ui = *f.ui;
        ui.Text1->setPlainText(QStringLiteral("\u20AC5 12\u4E2D"));
        f.comm->writes.clear();
        w.Command3_Click(); // one '?' for each
        QCOMPARE(f.comm->writes.last(), QByteArray("?5 12?"));
        w.Command9_Click(); // the pairs read "\u20AC5" (no hex digit first: 0) and "12"
        QCOMPARE(f.comm->written().mid(6), QByteArray("\x00\x12", 2));
        ui.Text1->setPlainText(QStringLiteral("\u20AC"));
        f.comm->writes.clear();
        w.Command8_Click();
        QCOMPARE(f.messages, QStringList {QStringLiteral("Inserire numeri decimali")});
        QVERIFY(f.comm->writes.isEmpty());
    }

private:
    static void pumpEventsBriefly()
    {
        for (int i = 0; i < 10; ++i)
            QCoreApplication::processEvents();
    }
};

QTEST_MAIN(TestTransmit)
#include "tst_transmit.moc"
