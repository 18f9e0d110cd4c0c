#pragma once

#include "FontTable.h"

#include <QColor>
#include <QGlyphRun>
#include <QList>
#include <QPointF>
#include <QString>

class QPainter;
class QPalette;

namespace corvanel {

// Paints the receive box's rows, byte by byte. Bytes the font has a glyph
// for are gathered into two glyph runs (plain and selected) that finish()
// draws at once; the others are drawn one by one, control codes as a small
// box so that nothing is invisible. Selected bytes get the highlight behind
// them, a line break a narrow one.
class RowPainter
{
public:
    RowPainter(QPainter &painter, const FontTable &font, const QPalette &palette, qint64 selStart, qint64 selEnd);

    // Paints the bytes d[0, n) of a row whose top is `top`, the first of them
    // at text position `pos` and at `x`; both move on past them.
    void paintBytes(const char *d, qsizetype n, qint64 &pos, qreal &x, qreal top);
    // Draws the gathered glyphs.
    void finish();

private:
    void drawWithoutGlyph(unsigned char c, bool selected, qreal x, qreal top, qreal w);
    void flush(QList<quint32> &glyphs, QList<QPointF> &positions, const QColor &colour);

    QPainter &m_painter;
    const FontTable &m_font;
    qint64 m_selStart;
    qint64 m_selEnd;
    QColor m_text;
    QColor m_highlight;
    QColor m_highlightText;
    QGlyphRun m_run;
    QList<quint32> m_glyphs;
    QList<QPointF> m_positions;
    QList<quint32> m_selectedGlyphs;
    QList<QPointF> m_selectedPositions;
    QString m_single {1, QChar()};
};

} // namespace corvanel
