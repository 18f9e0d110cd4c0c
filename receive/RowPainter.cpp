#include "RowPainter.h"

#include <QPainter>
#include <QPalette>

namespace corvanel {

RowPainter::RowPainter(QPainter &painter, const FontTable &font, const QPalette &palette, qint64 selStart,
                       qint64 selEnd)
    : m_painter(painter),
      m_font(font),
      m_selStart(selStart),
      m_selEnd(selEnd),
      m_text(palette.color(QPalette::Text)),
      m_highlight(palette.color(QPalette::Highlight)),
      m_highlightText(palette.color(QPalette::HighlightedText))
{
    m_run.setRawFont(font.raw);
}

void RowPainter::paintBytes(const char *d, qsizetype n, qint64 &pos, qreal &x, qreal top)
{
    const qreal baseline = top + m_font.ascent;
    for (qsizetype i = 0; i < n; ++i, ++pos) {
        const auto c = static_cast<unsigned char>(d[i]);
        const qreal w = m_font.advance[c];
        const bool selected = pos >= m_selStart && pos < m_selEnd;
        if (selected) {
            const bool lineBreak = c == '\r' || c == '\n';
            m_painter.fillRect(QRectF(x, top, lineBreak ? 3 : w, m_font.lineHeight), m_highlight);
        }
        if (m_font.glyph[c] != 0) {
            (selected ? m_selectedGlyphs : m_glyphs).append(m_font.glyph[c]);
            (selected ? m_selectedPositions : m_positions).append(QPointF(x, baseline));
        } else if (w > 0 && c != ' ' && c != '\t') {
            drawWithoutGlyph(c, selected, x, top, w);
        }
        x += w;
    }
}

void RowPainter::drawWithoutGlyph(unsigned char c, bool selected, qreal x, qreal top, qreal w)
{
    m_painter.setPen(selected ? m_highlightText : m_text);
    if (isControlCode(c)) {
        const qreal h = m_font.lineHeight;
        m_painter.drawRect(QRectF(x + 1, top + h * 0.3, w - 3, h * 0.5));
    } else {
        m_single[0] = QChar(static_cast<char16_t>(c));
        m_painter.drawText(QPointF(x, top + m_font.ascent), m_single);
    }
}

void RowPainter::finish()
{
    flush(m_glyphs, m_positions, m_text);
    flush(m_selectedGlyphs, m_selectedPositions, m_highlightText);
}

void RowPainter::flush(QList<quint32> &glyphs, QList<QPointF> &positions, const QColor &colour)
{
    if (glyphs.isEmpty())
        return;
    m_run.setGlyphIndexes(glyphs);
    m_run.setPositions(positions);
    m_painter.setPen(colour);
    m_painter.drawGlyphRun(QPointF(0, 0), m_run);
    glyphs.clear();
    positions.clear();
}

} // namespace corvanel
