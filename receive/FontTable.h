#pragma once

#include "RowLayout.h"

#include <QRawFont>
#include <array>

class QFont;

namespace corvanel {

// Characters drawn as a small box: the control codes of both halves.
bool isControlCode(unsigned char c);

// The receive box's font as its rows need it: each character code's glyph
// and advance, looked up once per font, so that rows are painted as glyph
// runs with no text shaping, at exactly the places the layout computed.
struct FontTable
{
    QRawFont raw;
    std::array<quint32, 256> glyph {}; // 0: drawn as text (no glyph in the font)
    std::array<qreal, 256> advance {};
    RowLayout::Advances fixedAdvance {}; // the same, in 64ths of a pixel
    qreal lineHeight = 13;
    qreal ascent = 10;

    static FontTable of(const QFont &font);
};

} // namespace corvanel
