#include "Conversions.h"

#include <QString>
#include <cfenv>
#include <cmath>
#include <limits>

namespace corvanel {
namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

int hexDigit(QChar c)
{
    if (isDigit(c))
        return c.unicode() - u'0';
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    return -1;
}

// Counts the digits starting at i.
qsizetype digitRun(const QString &s, qsizetype i)
{
    qsizetype n = 0;
    while (i + n < s.size() && isDigit(s.at(i + n)))
        ++n;
    return n;
}

template <typename Int>
std::optional<Int> roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // nearbyint follows the current rounding mode; the default one rounds
    // halves to even, but make sure nobody changed it.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(saved);
    if (r < static_cast<double>(std::numeric_limits<Int>::min())
        || r > static_cast<double>(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(r);
}

// The text without its spaces, tabs and line feeds.
QString withoutBlanks(QStringView text)
{
    QString s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            s.append(c);
    }
    return s;
}

// The value of the hexadecimal digits after "&H", up to the first other character.
double hexPrefixValue(const QString &s)
{
    double v = 0;
    for (qsizetype i = 2; i < s.size(); ++i) {
        const int d = hexDigit(s.at(i));
        if (d < 0)
            break;
        v = v * 16 + d;
    }
    return v;
}

bool isSign(const QString &s, qsizetype i)
{
    return i < s.size() && (s.at(i) == u'+' || s.at(i) == u'-');
}

// The length of the longest prefix of the form [sign] digits [. digits]
// [e [sign] digits]; 0 when it holds no digit before the exponent.
qsizetype numberPrefixLength(const QString &s)
{
    qsizetype i = isSign(s, 0) ? 1 : 0;
    const qsizetype intDigits = digitRun(s, i);
    i += intDigits;
    qsizetype fracDigits = 0;
    if (i < s.size() && s.at(i) == u'.') {
        fracDigits = digitRun(s, i + 1);
        if (intDigits > 0 || fracDigits > 0)
            i += 1 + fracDigits;
    }
    if (intDigits == 0 && fracDigits == 0)
        return 0;
    if (i < s.size() && (s.at(i) == u'e' || s.at(i) == u'E')) {
        const qsizetype j = isSign(s, i + 1) ? i + 2 : i + 1;
        const qsizetype expDigits = digitRun(s, j);
        if (expDigits > 0)
            i = j + expDigits;
    }
    return i;
}

} // namespace

double lenientValue(QStringView text)
{
    const QString s = withoutBlanks(text);
    if (s.size() >= 2 && s.at(0) == u'&' && (s.at(1) == u'h' || s.at(1) == u'H'))
        return hexPrefixValue(s);

    const qsizetype length = numberPrefixLength(s);
    if (length == 0)
        return 0;
    const QString number = s.left(length);
    bool ok = false;
    const double v = number.toDouble(&ok); // always '.' and 'e', whatever the locale
    if (ok)
        return v;
    // Out of range: a huge exponent overflows, a huge negative one underflows.
    if (number.contains(u"e-", Qt::CaseInsensitive))
        return 0;
    return number.startsWith(u'-') ? -HUGE_VAL : HUGE_VAL;
}

std::optional<qint16> toInt16(double value)
{
    return roundHalfEven<qint16>(value);
}
std::optional<qint32> toInt32(double value)
{
    return roundHalfEven<qint32>(value);
}

} // namespace corvanel
