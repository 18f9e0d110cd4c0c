#include "FormFixture.h"

#include <QAbstractItemView>
#include <QPlainTextEdit>
#include <QTest>

using namespace corvanel;

namespace {

enum class Finish { Return, Enter, Tab, FocusElsewhere };

QComboBox *list(const Controls &ui, int n)
{
    const std::array<QComboBox *, 4> lists {ui.Combo1, ui.Combo2, ui.Combo3, ui.Combo4};
    return lists.at(static_cast<size_t>(n - 1));
}

// A shown, active window whose port counts start from here.
struct ShownForm : FormFixture
{
    int opens = 0, closes = 0;
    ShownForm()
    {
        form->show();
        opens = comm->opens;
        closes = comm->closes;
    }
    bool portUntouched() const { return comm->opens == opens && comm->closes == closes; }
};

} // namespace

class TestLists : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Typing into a list's field, however the typing ends, never reaches the
    // port: the field keeps the text as typed, the list keeps its items.
    void typedTextIsNeverApplied_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Finish>("finish");
        // Each text starts an item other than the current one ("1" starts
        // "110" in the speed list, "e" is "E" but for its case).
        const QList<std::pair<int, QString>> typing {
            {1, QStringLiteral("3")}, {2, QStringLiteral("1")}, {3, QStringLiteral("e")}, {4, QStringLiteral("7")}};
        const QList<std::pair<Finish, const char *>> finishes {{Finish::Return, "Return"},
                                                               {Finish::Enter, "Enter"},
                                                               {Finish::Tab, "Tab"},
                                                               {Finish::FocusElsewhere, "focus elsewhere"}};
        for (const auto &[n, typed] : typing)
            for (const auto &[finish, name] : finishes)
                QTest::addRow("Combo%d, %s", n, name) << n << typed << finish;
    }

    void typedTextIsNeverApplied()
    {
        QFETCH(int, n);
        QFETCH(QString, typed);
        QFETCH(Finish, finish);
        ShownForm f;
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        QComboBox *combo = list(*f.ui, n);
        const int items = combo->count();
        const int current = combo->currentIndex();
        combo->setFocus(Qt::TabFocusReason);
        QVERIFY(combo->hasFocus());
        QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(combo, typed);
        switch (finish) {
        case Finish::Return:
            QTest::keyClick(combo, Qt::Key_Return);
            break;
        case Finish::Enter:
            QTest::keyClick(combo, Qt::Key_Enter, Qt::KeypadModifier);
            break;
        case Finish::Tab:
            QTest::keyClick(combo, Qt::Key_Tab);
            QVERIFY(!combo->hasFocus());
            break;
        case Finish::FocusElsewhere:
            f.ui->Text1->setFocus(Qt::MouseFocusReason);
            break;
        }
        QVERIFY(f.portUntouched());
        QCOMPARE(f.ui->Label5->text(), QStringLiteral("9600,N,8,1"));
        QCOMPARE(combo->currentText(), typed);
        QCOMPARE(combo->currentIndex(), current);
        QCOMPARE(combo->count(), items);
        QVERIFY(f.messages.isEmpty());
    }

    // A choice from the list still applies, typed text or not: from the open
    // list by keys or by the mouse, and with an arrow key on the closed list.
    void choicesFromTheListApply_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Alt+Down, Down, Return") << 2 << "keys"
                                                << "14400"
                                                << "14400,N,8,1";
        QTest::newRow("F4, Down, Return") << 3 << "F4"
                                          << "E"
                                          << "9600,E,8,1";
        QTest::newRow("mouse") << 4 << "mouse"
                               << "6"
                               << "9600,N,6,1";
        QTest::newRow("Down on the closed list") << 4 << "arrow"
                                                 << "7"
                                                 << "9600,N,7,1";
    }

    void choicesFromTheListApply()
    {
        QFETCH(int, n);
        QFETCH(QString, how);
        QFETCH(QString, chosen);
        QFETCH(QString, shown);
        ShownForm f;
        QVERIFY(QTest::qWaitForWindowActive(f.form.get()));
        QComboBox *combo = list(*f.ui, n);
        combo->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(combo, QStringLiteral("x"));
        QAbstractItemView *popup = combo->view();
        if (how == QLatin1String("arrow")) {
            QTest::keyClick(combo, Qt::Key_Down);
        } else if (how == QLatin1String("mouse")) {
            // The arrow at the list's right end opens it; a click on an item chooses.
            QTest::mouseClick(combo, Qt::LeftButton, {}, QPoint(combo->width() - 4, combo->height() / 2));
            QTRY_VERIFY(popup->isVisible());
            const QRect item = popup->visualRect(popup->model()->index(combo->findText(chosen), 0));
            QTest::mouseMove(popup->viewport(), item.center());
            QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, item.center());
        } else {
            if (how == QLatin1String("F4"))
                QTest::keyClick(combo, Qt::Key_F4);
            else
                QTest::keyClick(combo, Qt::Key_Down, Qt::AltModifier);
            QTRY_VERIFY(popup->isVisible());
            QTest::keyClick(popup, Qt::Key_Down);
            QTest::keyClick(popup, Qt::Key_Return);
        }
        QTRY_VERIFY(!popup->isVisible());
        QCOMPARE(combo->currentText(), chosen);
        QCOMPARE(f.ui->Label5->text(), shown);
        QCOMPARE(f.comm->Settings(), shown);
        QCOMPARE(f.comm->opens, f.opens + 1);
        QVERIFY(f.comm->PortOpen());
    }
};

QTEST_MAIN(TestLists)
#include "tst_lists.moc"
