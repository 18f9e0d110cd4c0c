#pragma once

#include <QFont>
#include <QRect>
#include <QString>

namespace corvanel {

// Places in the windows are given in twips: 15 to a pixel at 96 dots per inch.
inline constexpr int TwipsPerPixel = 15;
int px(int twips);
qreal pxF(int twips);
QRect twips(int left, int top, int width, int height);

// "MS Sans Serif" is not on Linux; Liberation Sans has Arial's metrics and
// keeps every caption inside its box, and its narrow face keeps the longest
// ones whole at the same size.
extern const QString UiFamily;
extern const QString NarrowFamily;
QFont uiFont(qreal points, bool bold = false);

} // namespace corvanel
