#include "FontTable.h"

#include "TextMoves.h"

#include <QFontMetricsF>
#include <QList>
#include <algorithm>
#include <cmath>

namespace corvanel {

bool isControlCode(unsigned char c)
{
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

FontTable FontTable::of(const QFont &font)
{
    FontTable t;
    const QFontMetricsF fm(font);
    t.raw = QRawFont::fromFont(font);
    const qreal box = fm.horizontalAdvance(u'x');
    for (int c = 0; c < 256; ++c) {
        const auto uc = static_cast<unsigned char>(c);
        if (moves::isBreak(static_cast<char>(c))) {
            t.advance[uc] = 0;
        } else if (c == '\t') {
            t.advance[uc] = 4 * fm.horizontalAdvance(u' ');
        } else if (isControlCode(uc)) {
            t.advance[uc] = box;
        } else {
            const QString ch(QChar(static_cast<char16_t>(c)));
            const QList<quint32> glyphs = t.raw.isValid() ? t.raw.glyphIndexesForString(ch) : QList<quint32>();
            if (glyphs.size() == 1 && glyphs.first() != 0) {
                t.glyph[uc] = glyphs.first();
                t.advance[uc] = std::max<qreal>(1, t.raw.advancesForGlyphIndexes(glyphs).first().x());
            } else {
                t.advance[uc] = std::max<qreal>(1, fm.horizontalAdvance(ch));
            }
        }
        // A 64th of a pixel: the layout adds integers, painting adds the same
        // values as reals, and both land on the same places.
        t.fixedAdvance[uc] = static_cast<qint32>(std::lround(t.advance[uc] * 64));
        t.advance[uc] = t.fixedAdvance[uc] / 64.0;
    }
    t.lineHeight = std::max<qreal>(1, fm.lineSpacing());
    t.ascent = fm.ascent();
    return t;
}

} // namespace corvanel
