#include "Form2.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

using namespace corvanel;

namespace {

QList<QWidget *> helpWindows()
{
    QList<QWidget *> found;
    const auto tops = QApplication::topLevelWidgets();
    for (QWidget *w : tops) {
        if (w->objectName() == QLatin1String("Form2") && w->isVisible())
            found << w;
    }
    return found;
}

// The pixel at a point given in twips inside a frame.
QColor pixelAt(const QImage &image, const QWidget *frame, int x, int y)
{
    return image.pixelColor(frame->x() + x / 15, frame->y() + y / 15);
}

bool isInk(const QColor &c)
{
    return c.lightness() < 150;
}

} // namespace

class TestHelp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void oneWindowInFront()
    {
        Form2 help;
        help.showHelp();
        QWidget *first = help.window();
        QVERIFY(first);
        QVERIFY(QTest::qWaitForWindowExposed(first));
        help.showHelp();
        QCOMPARE(help.window(), first);
        QCOMPARE(helpWindows().size(), 1);
        QTRY_COMPARE(QApplication::activeWindow(), first);
        QCOMPARE(first->windowTitle(), QStringLiteral("Aiuto"));
        QCOMPARE(first->size(), QSize(320, 370));
        QVERIFY(!first->parentWidget()); // no owner: the main window stays usable
    }

    void closingAndAskingAgainShowsItAgain()
    {
        Form2 help;
        help.showHelp();
        QPointer<QWidget> first = help.window();
        first->close();
        QTRY_VERIFY(!first); // the window is gone, the object remains
        QVERIFY(!help.window());
        help.showHelp();
        QVERIFY(help.window());
        QVERIFY(help.window()->isVisible());
        QCOMPARE(helpWindows().size(), 1);
        QCOMPARE(help.window()->findChild<QLabel *>(QStringLiteral("Label2(0)"))->text(), QStringLiteral("1 - DCD"));
        help.close();
    }

    void aMinimisedWindowIsRestored()
    {
        Form2 help;
        help.showHelp();
        help.window()->showMinimized();
        help.showHelp();
        QVERIFY(!help.window()->isMinimized());
        help.close();
    }

    void resizingMovesNothing()
    {
        Form2 help;
        help.showHelp();
        QWidget *w = help.window();
        auto *connector = w->findChild<QGroupBox *>(QStringLiteral("Frame2"));
        auto *cable = w->findChild<QGroupBox *>(QStringLiteral("Frame1"));
        QVERIFY(connector && cable);
        QCOMPARE(connector->geometry(), QRect(8, 8, 305, 201));
        QCOMPARE(cable->geometry(), QRect(8, 232, 305, 121));
        w->resize(700, 600);
        QCOMPARE(connector->geometry(), QRect(8, 8, 305, 201));
        QCOMPARE(cable->geometry(), QRect(8, 232, 305, 121));
        help.close();
    }

    void drawingsAreWhereTheyBelong()
    {
        Form2 help;
        help.showHelp();
        QWidget *w = help.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage img = w->grab().toImage();
        auto *connector = w->findChild<QGroupBox *>(QStringLiteral("Frame2"));
        auto *cable = w->findChild<QGroupBox *>(QStringLiteral("Frame1"));

        // The red and green wires cross at (2220, 780).
        const QColor crossing = pixelAt(img, cable, 2220, 780);
        QVERIFY2(crossing.red() > 100 || crossing.green() > 100, qPrintable(crossing.name()));
        QVERIFY(crossing.blue() < 80);
        // Red wire along its first stretch, green along its first stretch.
        QCOMPARE(pixelAt(img, cable, 1500, 600).red() > 150, true);
        QCOMPARE(pixelAt(img, cable, 1500, 960).green() > 90, true);
        // Ground wire and the bar of the ground symbol.
        QVERIFY(isInk(pixelAt(img, cable, 1700, 1320)));
        QVERIFY(isInk(pixelAt(img, cable, 2300, 1560)));
        QVERIFY(!isInk(pixelAt(img, cable, 2280, 1440 + 150))); // below the bar, between strokes: paper
        // Pin 1's circle: left edge dark green, centre empty.
        const QColor edge = pixelAt(img, connector, 960 + 15, 480 + 247);
        QVERIFY2(edge.green() > edge.red() && isInk(edge), qPrintable(edge.name()));
        // The shell's top edge, three pixels wide.
        QVERIFY(isInk(pixelAt(img, connector, 2000, 360)));
        help.close();
    }

    void pinsAndLegendAreComplete()
    {
        Form2 help;
        help.showHelp();
        QWidget *w = help.window();
        // Bottom row reads 6, 7, 8, 9 from left to right, under the gaps of the top row.
        QStringList bottom;
        QList<int> xs;
        for (int index : {9, 8, 7, 6}) {
            auto *digit = w->findChild<QLabel *>(QStringLiteral("Label1(%1)").arg(index));
            QVERIFY(digit);
            bottom << digit->text();
            xs << digit->mapTo(w, QPoint(0, 0)).x();
        }
        QCOMPARE(bottom,
                 (QStringList {QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8"), QStringLiteral("9")}));
        QVERIFY(std::is_sorted(xs.begin(), xs.end()));
        const auto labels = w->findChildren<QLabel *>();
        int legend = 0;
        for (QLabel *l : labels) {
            QVERIFY2(QFontMetrics(l->font()).horizontalAdvance(l->text()) <= l->width(), qPrintable(l->objectName()));
            if (l->objectName().startsWith(QLatin1String("Label2(")))
                ++legend;
        }
        QCOMPARE(legend, 9);
        QCOMPARE(labels.size(), 9 + 9 + 6);
        help.close();
    }

    // The caption sits in the top edge: the line stops on both sides of it at
    // its middle height, under every style.
    void captionsAreSetIntoTheTopEdge_data()
    {
        QTest::addColumn<QString>("style");
        QTest::newRow("default") << QString();
        QTest::newRow("Fusion") << QStringLiteral("Fusion");
        QTest::newRow("Windows") << QStringLiteral("Windows");
    }
    void captionsAreSetIntoTheTopEdge()
    {
        QFETCH(QString, style);
        const QString before = QApplication::style()->name();
        if (!style.isEmpty())
            QApplication::setStyle(QStyleFactory::create(style));
        Form2 help;
        help.showHelp();
        QWidget *w = help.window();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        const QImage img = w->grab().toImage();
        const QColor paper = w->palette().color(QPalette::Window);
        const auto isLine = [&](QPoint at) { return qAbs(img.pixelColor(at).lightness() - paper.lightness()) > 40; };
        for (const char *name : {"Frame1", "Frame2"}) {
            auto *frame = w->findChild<HelpFrame *>(QString::fromLatin1(name));
            QVERIFY(frame);
            const QRect caption = frame->captionRect().translated(frame->pos());
            const int mid = caption.top() + caption.height() / 2;
            QVERIFY2(isLine({caption.left() - 4, mid}) && isLine({caption.right() + 4, mid}), name);
            int paperAcross = 0, lineAbove = 0, lineBelow = 0;
            for (int x = caption.left(); x <= caption.right(); ++x) {
                paperAcross += !isLine({x, mid});
                lineAbove += isLine({x, caption.top() - 1});
                lineBelow += isLine({x, caption.bottom() + 2});
            }
            QVERIFY2(paperAcross > caption.width() / 3, name); // the text's gaps show: no line through it
            QCOMPARE(lineAbove, 0);
            QCOMPARE(lineBelow, 0);
        }
        help.close();
        QApplication::setStyle(QStyleFactory::create(before));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
