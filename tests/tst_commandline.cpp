#include "CommandLine.h"

#include <QTest>

using namespace corvanel;

namespace {
// The command line as a list of ASCII words.
QStringList words(std::initializer_list<const char *> ascii)
{
    QStringList list;
    for (const char *w : ascii)
        list << QString::fromLatin1(w);
    return list;
}
} // namespace

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
        QTest::newRow("--help") << words({"--help"}) << false << 0 << usage;
        QTest::newRow("-h") << words({"-h"}) << false << 0 << usage;
        QTest::newRow("--version") << words({"--version"}) << false << 0 << version;
        QTest::newRow("-v") << words({"-v"}) << false << 0 << version;
        QTest::newRow("Qt options pass") << words({"-style", "Fusion", "-reverse", "--platform", "xcb"}) << true << 0
                                         << QString();
        QTest::newRow("Qt option with =") << words({"-style=Fusion"}) << true << 0 << QString();
        QTest::newRow("every other Qt option")
            << words({"-name", "probe", "-testability", "-icon", "a.png", "-visual", "33", "-qmljsdebugger=port:3768",
                      "-qmljsdebugger", "port:3769", "-widgetcount"})
            << true << 0 << QString();
        QTest::newRow("unknown") << words({"--bogus"}) << false << 2
                                 << QStringLiteral("corvanel: Unknown option 'bogus'. Try 'corvanel --help'.");
        QTest::newRow("two unknown") << words({"-x", "--y"}) << false << 2 << QString();
        QTest::newRow("unknown beats help") << words({"--help", "--bogus"}) << false << 2 << QString();
        QTest::newRow("missing value") << words({"-platform"}) << false << 2 << QString();
        QTest::newRow("stray argument") << words({"/dev/ttyS0"}) << false << 2
                                        << QStringLiteral(
                                               "corvanel: Unexpected argument '/dev/ttyS0'. Try 'corvanel --help'.");
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
