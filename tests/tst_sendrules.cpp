#include "SendRules.h"

#include <QTest>

using namespace corvanel;

namespace {

// What the hex send of an unchanging text puts on the wire.
QByteArray hexSendBytes(const QString &text)
{
    QByteArray out;
    runHexSend([&] { return text; },
               [&](int v) {
                   out.append(static_cast<char>(v));
                   return true;
               });
    return out;
}

} // namespace

class TestSendRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void integerReading_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("value");
        QTest::newRow("65") << "C"
                            << "65" << true << 65;
        QTest::newRow("blanks around") << "C"
                                       << "  65 " << true << 65;
        QTest::newRow("tab around") << "C"
                                    << "\t65" << true << 65;
        QTest::newRow("zero") << "C"
                              << "0" << true << 0;
        QTest::newRow("negative") << "C"
                                  << "-1" << true << -1;
        QTest::newRow("2.5 to even") << "C"
                                     << "2.5" << true << 2;
        QTest::newRow("3.5 to even") << "C"
                                     << "3.5" << true << 4;
        QTest::newRow("64.5 to even") << "C"
                                      << "64.5" << true << 64;
        QTest::newRow("italian decimal comma") << "it_IT"
                                               << "64,5" << true << 64;
        QTest::newRow("italian grouping") << "it_IT"
                                          << "1.000" << true << 1000;
        QTest::newRow("english grouping") << "en_US"
                                          << "1,000" << true << 1000;
        QTest::newRow("empty") << "C"
                               << "" << false << 0;
        QTest::newRow("blank only") << "C"
                                    << "   " << false << 0;
        QTest::newRow("letters") << "C"
                                 << "abc" << false << 0;
        QTest::newRow("two numbers") << "C"
                                     << "65 66" << false << 0;
        QTest::newRow("trailing letters") << "C"
                                          << "65a" << false << 0;
        QTest::newRow("32-bit max") << "C"
                                    << "2147483647" << true << 2147483647;
        QTest::newRow("beyond 32 bits") << "C"
                                        << "2147483648" << false << 0;
        QTest::newRow("line break is not a blank") << "C"
                                                   << "65\r\n"
                                                   << false << 0;
    }
    void integerReading()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, ok);
        const std::optional<qint32> v = readInteger(text, QLocale(locale));
        QCOMPARE(v.has_value(), ok);
        if (ok)
            QTEST(int(*v), "value");
    }

    void characterOfCode()
    {
        QCOMPARE(*corvanel::characterOfCode(65), QStringLiteral("A"));
        QCOMPARE(corvanel::characterOfCode(0)->at(0).unicode(), 0);
        QCOMPARE(corvanel::characterOfCode(255)->at(0).unicode(), 255);
        QVERIFY(!corvanel::characterOfCode(256));
        QVERIFY(!corvanel::characterOfCode(-1));
    }

    void wireText_data()
    {
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("wire");
        QTest::newRow("paragraph") << QStringLiteral("AB\u2029C") << QStringLiteral("AB\r\nC");
        QTest::newRow("line separator") << QStringLiteral("A\u2028B") << QStringLiteral("A\r\nB");
        QTest::newRow("lone LF") << QStringLiteral("A\nB") << QStringLiteral("A\r\nB");
        QTest::newRow("CR LF kept") << QStringLiteral("A\r\nB") << QStringLiteral("A\r\nB");
        QTest::newRow("leading LF") << QStringLiteral("\nB") << QStringLiteral("\r\nB");
        QTest::newRow("nbsp kept") << QStringLiteral("A\u00A0B") << QStringLiteral("A\u00A0B");
        QTest::newRow("empty") << QString() << QString();
    }
    void wireText()
    {
        QFETCH(QString, editor);
        QTEST(sendBoxWireText(editor), "wire");
    }

    void hexPairs_data()
    {
        QTest::addColumn<QString>("pair");
        QTest::addColumn<int>("value");
        QTest::newRow("FE") << "FE" << 254;
        QTest::newRow("fe") << "fe" << 254;
        QTest::newRow("1A") << "1A" << 26;
        QTest::newRow("7") << "7" << 7;
        QTest::newRow("1Z") << "1Z" << 1;
        QTest::newRow("Z1") << "Z1" << 0;
        QTest::newRow("blank 5") << " 5" << 5;
        QTest::newRow("two blanks") << "  " << 0;
        QTest::newRow("tab 5") << "\t5" << 5;
        QTest::newRow("-1") << "-1" << 0;
    }
    void hexPairs()
    {
        QFETCH(QString, pair);
        QTEST(hexPairAt(pair, 1), "value");
    }

    void hexSend_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("with final space") << "02 34 FE 1A " << QByteArray("\x02\x34\xFE\x1A");
        QTest::newRow("without final space") << "02 34 FE 1A" << QByteArray("\x02\x34\xFE\x1A");
        QTest::newRow("lower case") << "fe 01" << QByteArray("\xFE\x01");
        QTest::newRow("one digit last") << "02 3" << QByteArray("\x02\x03");
        QTest::newRow("one digit at end") << "02 34 F" << QByteArray("\x02\x34\x0F");
        QTest::newRow("fixed positions") << "02 3456" << QByteArray("\x02\x34\x06");
        QTest::newRow("dash skipped") << "02 34-FE" << QByteArray("\x02\x34\xFE");
        QTest::newRow("GG") << "GG 12" << QByteArray("\x00\x12", 2);
        QTest::newRow("1Z") << "1Z 12" << QByteArray("\x01\x12");
        QTest::newRow("no space third") << "0234" << QByteArray();
        QTest::newRow("too short") << "02" << QByteArray();
        QTest::newRow("empty") << "" << QByteArray();
        QTest::newRow("dash third") << "02-34" << QByteArray();
        QTest::newRow("line break counts two") << "02 \r\n12" << QByteArray("\x02\x00\x02", 3);
    }
    void hexSend()
    {
        QFETCH(QString, text);
        QTEST(hexSendBytes(text), "bytes");
    }

    void hexPairPastTheEnd()
    {
        // A send box that became shorter sends 0x00 for the passes beyond it.
        QCOMPARE(hexPairAt(QStringLiteral("02"), 4), 0);
        QCOMPARE(hexPairAt(QStringLiteral("02 3"), 4), 3);
    }
};

QTEST_GUILESS_MAIN(TestSendRules)
#include "tst_sendrules.moc"
