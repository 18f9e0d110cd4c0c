#include "ParityMark.h"
#include "PortList.h"
#include "PortSettings.h"

#include <QTest>
#include <termios.h>

using namespace corvanel;
Q_DECLARE_METATYPE(corvanel::LineSettings)

class TestPortSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void settingsStringJoinsNumbersAndTexts()
    {
        QCOMPARE(settingsString(9600.0, QStringLiteral("N"), 8.0), QStringLiteral("9600,N,8,1"));
        QCOMPARE(settingsString(QStringLiteral("115200"), QStringLiteral("E"), 8.0), QStringLiteral("115200,E,8,1"));
        QCOMPARE(settingsString(QStringLiteral("300"), QStringLiteral("O"), QStringLiteral("7")),
                 QStringLiteral("300,O,7,1"));
        // Texts stand unchanged, whatever they hold.
        QCOMPARE(settingsString(QStringLiteral(" 12x"), QString(), QStringLiteral("")), QStringLiteral(" 12x,,,1"));
        QCOMPARE(settingsString(2.5, QStringLiteral("N"), -3.0), QStringLiteral("2.5,N,-3,1"));
    }

    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("data");
        QTest::addColumn<int>("stop");
        QTest::newRow("default") << "9600,N,8,1" << true << 9600 << int(Parity::None) << 8 << int(StopBits::One);
        QTest::newRow("lower parity") << "115200,e,7,2" << true << 115200 << int(Parity::Even) << 7
                                      << int(StopBits::Two);
        QTest::newRow("odd") << "300,O,6,1" << true << 300 << int(Parity::Odd) << 6 << int(StopBits::One);
        QTest::newRow("mark 1.5") << "110,m,5,1.5" << true << 110 << int(Parity::Mark) << 5
                                  << int(StopBits::OneAndHalf);
        QTest::newRow("space") << "14400,S,8,1" << true << 14400 << int(Parity::Space) << 8 << int(StopBits::One);
        QTest::newRow("zero baud") << "0,N,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("negative baud") << "-9600,N,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("fraction baud") << "96.5,N,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("parity X") << "9600,X,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("4 data bits") << "9600,N,4,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("9 data bits") << "9600,N,9,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("3 stop bits") << "9600,N,8,3" << false << 0 << 0 << 0 << 0;
        QTest::newRow("three fields") << "9600,N,8" << false << 0 << 0 << 0 << 0;
        QTest::newRow("five fields") << "9600,N,8,1,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("empty") << "" << false << 0 << 0 << 0 << 0;
        QTest::newRow("empty baud") << ",N,8,1" << false << 0 << 0 << 0 << 0;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const std::optional<LineSettings> s = parseSettings(text);
        QCOMPARE(s.has_value(), ok);
        if (!ok)
            return;
        QTEST(int(s->baudRate), "baud");
        QTEST(int(s->parity), "parity");
        QTEST(s->dataBits, "data");
        QTEST(int(s->stopBits), "stop");
    }

    void frameMismatchReadsTheDriver()
    {
        const LineSettings e71 {9600, Parity::Even, 7, StopBits::One};
        QVERIFY(frameMismatch(CS7 | PARENB | CREAD, e71).isEmpty());
        // A pseudo-terminal keeps 8 bits and no parity whatever it is told.
        QVERIFY(!frameMismatch(CS8 | CREAD, e71).isEmpty());
        QVERIFY(frameMismatch(CS8, LineSettings {}).isEmpty());
        QVERIFY(!frameMismatch(CS8 | PARENB | PARODD, LineSettings {9600, Parity::Even, 8, StopBits::One}).isEmpty());
        QVERIFY(frameMismatch(CS8 | PARENB | PARODD | CMSPAR, LineSettings {9600, Parity::Mark, 8, StopBits::One})
                    .isEmpty());
        QVERIFY(!frameMismatch(CS8 | CSTOPB, LineSettings {}).isEmpty());
        QVERIFY(frameMismatch(CS5 | CSTOPB, LineSettings {9600, Parity::None, 5, StopBits::OneAndHalf}).isEmpty());
        QVERIFY(!frameMismatch(CS8 | CSTOPB, LineSettings {9600, Parity::None, 8, StopBits::OneAndHalf}).isEmpty());
    }

    void readRestKeepsTheDriverFromFilling()
    {
        for (const qint32 baud : {50, 300, 9600, 115200, 230400, 921600, 3000000, 4000000, 12000000}) {
            for (const qint64 arrived : {0, 1, 115, 1023, 1024, 4096, 65536}) {
                const int rest = readRestMs(arrived, baud, 1000);
                QVERIFY(rest >= 0 && rest <= 50);
                // What the line can bring meanwhile, 7-bit frames at the least.
                QVERIFY2(qint64(rest) * baud / 7 / 1000 <= 1024, qPrintable(QString::number(baud)));
                if (arrived >= 1024)
                    QCOMPARE(rest, 0);
                // An answer to a command is read as it comes.
                QCOMPARE(readRestMs(arrived, baud, 249), 0);
            }
        }
        // A stream's trickle at the usual speeds is gathered.
        QCOMPARE(readRestMs(115, 115200, 250), 50);
        QCOMPARE(readRestMs(1, 9600, 5000), 50);
        QVERIFY(readRestMs(100, 921600, 1000) > 0);
        QCOMPARE(readRestMs(100, 0, 1000), 0);
    }

    void portOrdering()
    {
        const QStringList found
            = {QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyUSB10"), QStringLiteral("/dev/ttyS1"),
               QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/dev/rfcomm0"),  QStringLiteral("/dev/ttyS0"),
               QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/dev/ttyAMA0"),  QStringLiteral("/dev/ttyS10"),
               QStringLiteral("/dev/ttyS2")};
        const QStringList expected
            = {QStringLiteral("/dev/ttyS0"),   QStringLiteral("/dev/ttyS1"),   QStringLiteral("/dev/ttyS2"),
               QStringLiteral("/dev/ttyS10"),  QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/dev/ttyUSB10"),
               QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/rfcomm0"), QStringLiteral("/dev/ttyAMA0")};
        QCOMPARE(orderPorts(found), expected);
        QCOMPARE(orderPorts({}), QStringList());
    }

    void portTooltip()
    {
        QCOMPARE(portListTooltip({QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyACM0")}),
                 QStringLiteral("1 = /dev/ttyUSB0\n2 = /dev/ttyACM0"));
        QCOMPARE(portListTooltip({}), QStringLiteral("Nessuna porta seriale trovata"));
    }

    void parityMarks_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QByteArray>("decoded");
        QTest::newRow("plain") << QList<QByteArray> {"AB"} << QByteArray("AB");
        QTest::newRow("doubled FF") << QList<QByteArray> {"A\xFF\xFF"
                                                          "B"}
                                    << QByteArray("A\xFF"
                                                  "B");
        QTest::newRow("parity error") << QList<QByteArray> {QByteArray("A\xFF\0X", 4)} << QByteArray("A?");
        QTest::newRow("break") << QList<QByteArray> {QByteArray("\xFF\0\0Z", 4)} << QByteArray("?Z");
        QTest::newRow("split FF FF") << QList<QByteArray> {"A\xFF", "\xFF"
                                                                    "B"}
                                     << QByteArray("A\xFF"
                                                   "B");
        QTest::newRow("split mark") << QList<QByteArray> {"\xFF", QByteArray(1, '\0'), "XY"} << QByteArray("?Y");
        QTest::newRow("stray FF kept") << QList<QByteArray> {"\xFF"
                                                             "A"}
                                       << QByteArray("\xFF"
                                                     "A");
    }
    void parityMarks()
    {
        QFETCH(QList<QByteArray>, reads);
        ParityMarkDecoder d;
        QByteArray out;
        for (const QByteArray &r : reads)
            out += d.decode(r);
        QTEST(out, "decoded");
    }
};

QTEST_GUILESS_MAIN(TestPortSettings)
#include "tst_portsettings.moc"
