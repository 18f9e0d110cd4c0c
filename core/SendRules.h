#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <functional>
#include <optional>

namespace corvanel {

// Integer reading: the whole text as one number in the given locale (sign,
// decimal separator, digit grouping), blanks around it ignored, a fraction
// rounded half to even, 32-bit signed. Empty when the text is not exactly one
// number or does not fit.
std::optional<qint32> readInteger(const QString &text, const QLocale &locale = QLocale());

// The one-character text whose code is v, for v in 0..255.
std::optional<QString> characterOfCode(qint64 v);

// The send box's text as the wire sees it: every line break the editor holds
// (paragraph or line separator, a lone line feed) becomes CR LF.
QString sendBoxWireText(const QString &editorText);

// The hex send's format check: at least three characters, the third a space.
bool hexFormatOk(const QString &text);

// The value of the pair at 1-based position p (one character if the text ends
// at p, none past its end): "&h" + pair through the lenient reading, 0..255.
int hexPairAt(const QString &text, qsizetype p);

// The hex send, pass by pass. `box` gives the send box as it is now: it is
// asked for the format check, then for the length that fixes the number of
// passes, then again before every byte (a yield between bytes may change it;
// passes beyond a shortened text send 0). `send` gets each byte's value, 0..255,
// and returns false to stop. Returns false when the format check fails, before
// anything is sent.
bool runHexSend(const std::function<QString()> &box, const std::function<bool(int)> &send);

} // namespace corvanel
