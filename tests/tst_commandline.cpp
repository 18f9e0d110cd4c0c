#include "CommandLine.h"

#include <QTest>

using namespace corvanel;

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outcome_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("runWindow");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("firstLine"); // of what is printed; empty when the window runs

        const QString usage = QStringLiteral("Usage: corvanel [options]");
        const QString version = QStringLiteral("Corvanel 1.06");
        QTest::newRow("nothing") << QStringList() << true << 0 << QString();
        QTest::newRow("--help") << QStringList {"--help"} << false << 0 << usage;
        QTest::newRow("-h") << QStringList {"-h"} << false << 0 << usage;
        QTest::newRow("--version") << QStringList {"--version"} << false << 0 << version;
        QTest::newRow("-v") << QStringList {"-v"} << false << 0 << version;
        QTest::newRow("Qt options pass") << QStringList {"-style", "Fusion", "-reverse", "--platform", "xcb"} << true
                                         << 0 << QString();
        QTest::newRow("Qt option with =") << QStringList {"-style=Fusion"} << true << 0 << QString();
        QTest::newRow("every other Qt option") << QStringList {"-name", "probe", "-testability", "-icon", "a.png",
                                                               "-visual", "33", "-qmljsdebugger=port:3768",
                                                               "-qmljsdebugger", "port:3769", "-widgetcount"}
                                               << true << 0 << QString();
        QTest::newRow("unknown") << QStringList {"--bogus"} << false << 2
                                 << QStringLiteral("corvanel: Unknown option 'bogus'. Try 'corvanel --help'.");
        QTest::newRow("two unknown") << QStringList {"-x", "--y"} << false << 2 << QString();
        QTest::newRow("unknown beats help") << QStringList {"--help", "--bogus"} << false << 2 << QString();
        QTest::newRow("missing value") << QStringList {"-platform"} << false << 2 << QString();
        QTest::newRow("stray argument") << QStringList {"/dev/ttyS0"} << false << 2
                                        << QStringLiteral("corvanel: Unexpected argument '/dev/ttyS0'. Try 'corvanel --help'.");
    }
    void outcome()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, runWindow);
        QFETCH(int, exitCode);
        QFETCH(QString, firstLine);
        const CommandLineOutcome got = decideCommandLine(QStringList {QStringLiteral("corvanel")} + arguments);
        QCOMPARE(got.runWindow, runWindow);
        QCOMPARE(got.exitCode, exitCode);
        if (runWindow)
            return;
        QVERIFY(got.text.endsWith(u'\n'));
        QCOMPARE(got.toStandardError, exitCode != 0);
        if (exitCode != 0)
            QCOMPARE(got.text.count(u'\n'), 1); // errors are one line
        if (!firstLine.isEmpty())
            QCOMPARE(got.text.section(u'\n', 0, 0), firstLine);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
