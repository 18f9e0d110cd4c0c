#include "SendRules.h"

#include "Conversions.h"

namespace corvanel {

std::optional<qint32> readInteger(const QString &text, const QLocale &locale)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text.at(begin)))
        ++begin;
    while (end > begin && blank(text.at(end - 1)))
        --end;
    const QStringView number = QStringView(text).mid(begin, end - begin);
    // Only blanks are ignored; QLocale would also skip line breaks.
    if (number.isEmpty() || number.front().isSpace() || number.back().isSpace())
        return std::nullopt;
    bool ok = false;
    const double value = locale.toDouble(number, &ok);
    if (!ok)
        return std::nullopt;
    return toInt32(value);
}

std::optional<QString> characterOfCode(qint64 v)
{
    if (v < 0 || v > 255)
        return std::nullopt;
    return QString(QChar(static_cast<char16_t>(v)));
}

QString sendBoxWireText(const QString &editorText)
{
    QString out;
    out.reserve(editorText.size() + editorText.size() / 16);
    for (qsizetype i = 0; i < editorText.size(); ++i) {
        const QChar c = editorText.at(i);
        const bool loneFeed = c == u'\n' && (i == 0 || editorText.at(i - 1) != u'\r');
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator || loneFeed) {
            out += u"\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

bool hexFormatOk(const QString &text)
{
    return text.size() >= 3 && text.at(2) == u' ';
}

int hexPairAt(const QString &text, qsizetype p)
{
    const qsizetype i = p - 1;
    if (i < 0 || i >= text.size())
        return 0;
    QString number = QStringLiteral("&h");
    number += QStringView(text).mid(i, 2);
    // Two hex digits at most, so the value is always within a byte.
    return static_cast<int>(lenientValue(number));
}

bool runHexSend(const std::function<QString()> &box, const std::function<bool(int)> &send)
{
    if (!hexFormatOk(box()))
        return false;
    const qsizetype length = box().size();
    for (qsizetype p = 1; p <= length; p += 3) {
        if (!send(hexPairAt(box(), p)))
            break;
    }
    return true;
}

} // namespace corvanel
