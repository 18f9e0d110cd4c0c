#include "DisplayFormat.h"
#include "Conversions.h"

#include <QTest>
#include <cmath>

using namespace corvanel;

class TestNumbers : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lenientValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("digit") << "3" << 3.0;
        QTest::newRow("blank inside") << "1 2" << 12.0;
        QTest::newRow("tab and line feed dropped") << "\t1\n2 " << 12.0;
        QTest::newRow("carriage return stops") << "1\r2" << 1.0;
        QTest::newRow("trailing letters") << "12abc" << 12.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters first") << "COM1" << 0.0;
        QTest::newRow("hex") << "&hFF" << 255.0;
        QTest::newRow("hex lower prefix and digits") << "&hfe" << 254.0;
        QTest::newRow("hex upper prefix") << "&H1A" << 26.0;
        QTest::newRow("hex stops at non-digit") << "&h1G" << 1.0;
        QTest::newRow("hex without digits") << "&hZ" << 0.0;
        QTest::newRow("hex with blank") << "&h 5" << 5.0;
        QTest::newRow("negative") << "-7" << -7.0;
        QTest::newRow("plus") << "+7" << 7.0;
        QTest::newRow("fraction") << "2.5" << 2.5;
        QTest::newRow("leading point") << ".5x" << 0.5;
        QTest::newRow("lone point") << "." << 0.0;
        QTest::newRow("lone sign") << "-" << 0.0;
        QTest::newRow("exponent") << "1e3" << 1000.0;
        QTest::newRow("incomplete exponent") << "4e" << 4.0;
        QTest::newRow("negative exponent") << "25E-1" << 2.5;
        QTest::newRow("comma is not a decimal point") << "1,5" << 1.0;
        QTest::newRow("underflow") << "1e-999" << 0.0;
    }
    void lenientValue()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(corvanel::lenientValue(text), value);
    }

    void lenientOverflowIsInfinite()
    {
        QVERIFY(std::isinf(corvanel::lenientValue(u"1e999")));
        QVERIFY(corvanel::lenientValue(u"-1e999") < 0);
    }

    void toInt16_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<int>("result");
        QTest::newRow("half down to even") << 2.5 << true << 2;
        QTest::newRow("half up to even") << 3.5 << true << 4;
        QTest::newRow("64.5") << 64.5 << true << 64;
        QTest::newRow("negative half") << -2.5 << true << -2;
        QTest::newRow("above half") << 2.51 << true << 3;
        QTest::newRow("max") << 32767.0 << true << 32767;
        QTest::newRow("min") << -32768.0 << true << -32768;
        QTest::newRow("rounds into range") << 32767.4 << true << 32767;
        QTest::newRow("rounds out of range") << 32767.5 << false << 0;
        QTest::newRow("overflow") << 40000.0 << false << 0;
        QTest::newRow("underflow") << -32769.0 << false << 0;
        QTest::newRow("infinite") << HUGE_VAL << false << 0;
        QTest::newRow("nan") << std::nan("") << false << 0;
    }
    void toInt16()
    {
        QFETCH(double, value);
        QFETCH(bool, fits);
        QFETCH(int, result);
        const std::optional<qint16> r = corvanel::toInt16(value);
        QCOMPARE(r.has_value(), fits);
        if (fits)
            QCOMPARE(int(*r), result);
    }

    void toInt32Bounds()
    {
        QCOMPARE(*corvanel::toInt32(2147483647.0), 2147483647);
        QVERIFY(!corvanel::toInt32(2147483648.0));
        QCOMPARE(*corvanel::toInt32(-2147483648.0), -2147483647 - 1);
    }

    void displayFormats_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("text unchanged") << 0 << QByteArray("A\0\r\n\xFF", 5) << QByteArray("A\0\r\n\xFF", 5);
        QTest::newRow("hex 5") << 1 << QByteArray("\x05") << QByteArray(" 5");
        QTest::newRow("hex FF") << 1 << QByteArray("\xFF") << QByteArray(" FF");
        QTest::newRow("hex zero") << 1 << QByteArray(1, '\0') << QByteArray(" 0");
        QTest::newRow("hex 1F and A") << 1 << QByteArray("\x1F\x0A") << QByteArray(" 1F A");
        QTest::newRow("hex every byte of a read") << 1 << QByteArray("AB") << QByteArray(" 41 42");
        QTest::newRow("dec 5") << 2 << QByteArray("\x05") << QByteArray(" 5");
        QTest::newRow("dec 255") << 2 << QByteArray("\xFF") << QByteArray(" 255");
        QTest::newRow("dec 0 10") << 2 << QByteArray("\0\n", 2) << QByteArray(" 0 10");
        QTest::newRow("empty read in hex") << 1 << QByteArray() << QByteArray();
    }
    void displayFormats()
    {
        QFETCH(int, mode);
        QFETCH(QByteArray, in);
        QFETCH(QByteArray, out);
        QCOMPARE(*formatReceived(qint16(mode), in), out);
    }

    void displayEveryByteValue()
    {
        QByteArray all;
        for (int v = 0; v < 256; ++v)
            all.append(char(v));
        const QByteArray hex = *formatReceived(HexMode, all);
        const QByteArray dec = *formatReceived(DecimalMode, all);
        const QList<QByteArray> hexValues = hex.mid(1).split(' ');
        const QList<QByteArray> decValues = dec.mid(1).split(' ');
        QCOMPARE(hexValues.size(), 256);
        QCOMPARE(decValues.size(), 256);
        for (int v = 0; v < 256; ++v) {
            QCOMPARE(hexValues.at(v), QByteArray::number(v, 16).toUpper());
            QCOMPARE(decValues.at(v), QByteArray::number(v));
        }
    }

    void unknownModeReadsNothing()
    {
        QVERIFY(!formatReceived(3, "A"));
        QVERIFY(!formatReceived(-1, "A"));
    }
};

QTEST_GUILESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
