#include "PortSettings.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <termios.h>

namespace corvanel {
namespace {

QString joinLoose(const LooseValue &value)
{
    if (const auto *text = std::get_if<QString>(&value))
        return *text;
    // No leading blank and no plus sign; a negative number keeps its minus.
    const double d = std::get<double>(value);
    if (d == std::floor(d) && std::fabs(d) < 1e15)
        return QString::number(static_cast<qint64>(d));
    return QString::number(d, 'g', 15);
}

} // namespace

QString settingsString(const LooseValue &baudRate, const QString &parity, const LooseValue &dataBits)
{
    return joinLoose(baudRate) + QLatin1Char(',') + parity + QLatin1Char(',') + joinLoose(dataBits)
           + QStringLiteral(",1");
}

std::optional<LineSettings> parseSettings(const QString &text)
{
    const QStringList fields = text.split(u',');
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings s;

    const QString baud = fields.at(0).trimmed();
    bool ok = false;
    const qint64 rate = baud.toLongLong(&ok);
    for (QChar c : baud) {
        if (!c.isDigit() || c.unicode() > 127)
            ok = false;
    }
    if (!ok || rate <= 0 || rate > 0x7fffffff)
        return std::nullopt;
    s.baudRate = static_cast<qint32>(rate);

    const QString parity = fields.at(1).trimmed().toUpper();
    if (parity == u"N")
        s.parity = Parity::None;
    else if (parity == u"E")
        s.parity = Parity::Even;
    else if (parity == u"O")
        s.parity = Parity::Odd;
    else if (parity == u"M")
        s.parity = Parity::Mark;
    else if (parity == u"S")
        s.parity = Parity::Space;
    else
        return std::nullopt;

    const QString data = fields.at(2).trimmed();
    if (data.size() != 1 || data.at(0) < u'5' || data.at(0) > u'8')
        return std::nullopt;
    s.dataBits = data.at(0).unicode() - u'0';

    const QString stop = fields.at(3).trimmed();
    if (stop == u"1")
        s.stopBits = StopBits::One;
    else if (stop == u"1.5")
        s.stopBits = StopBits::OneAndHalf;
    else if (stop == u"2")
        s.stopBits = StopBits::Two;
    else
        return std::nullopt;
    return s;
}

QString frameMismatch(unsigned long cflag, const LineSettings &wanted)
{
    QStringList diffs;

    int bits = 8;
    switch (cflag & CSIZE) {
    case CS5:
        bits = 5;
        break;
    case CS6:
        bits = 6;
        break;
    case CS7:
        bits = 7;
        break;
    default:
        bits = 8;
        break;
    }
    if (bits != wanted.dataBits)
        diffs << QStringLiteral("data bits %1 instead of %2").arg(bits).arg(wanted.dataBits);

    Parity parity = Parity::None;
    if (cflag & PARENB) {
        const bool odd = cflag & PARODD;
        if (cflag & CMSPAR)
            parity = odd ? Parity::Mark : Parity::Space;
        else
            parity = odd ? Parity::Odd : Parity::Even;
    }
    if (parity != wanted.parity)
        diffs << QStringLiteral("parity differs");

    // Linux has no 1.5 stop bits; CSTOPB means two (or 1.5 with 5 data bits
    // on real UARTs), so 1.5 is accepted only where CSTOPB is set with 5 bits.
    const bool twoStop = cflag & CSTOPB;
    const bool wantTwo = wanted.stopBits != StopBits::One;
    if (twoStop != wantTwo || (wanted.stopBits == StopBits::OneAndHalf && bits != 5))
        diffs << QStringLiteral("stop bits differ");

    return diffs.join(u", ");
}

int readRestMs(qint64 arrived, qint32 baudRate, qint64 streamingForMs)
{
    constexpr qint64 Budget = 1024; // bytes that may wait in the driver
    constexpr qint64 MinimumFrameBits = 7;
    constexpr qint64 LongestMs = 50;
    constexpr qint64 StreamMs = 250;
    if (arrived >= Budget || baudRate <= 0 || streamingForMs < StreamMs)
        return 0;
    const qint64 ms = Budget * MinimumFrameBits * 1000 / baudRate;
    return static_cast<int>(std::min(ms, LongestMs));
}

} // namespace corvanel
