#include "Looks.h"

namespace corvanel {

const QString UiFamily = QStringLiteral("Liberation Sans");
const QString NarrowFamily = QStringLiteral("Liberation Sans Narrow");

int px(int twips)
{
    return twips / TwipsPerPixel;
}
qreal pxF(int twips)
{
    return static_cast<qreal>(twips) / TwipsPerPixel;
}

QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

QFont uiFont(qreal points, bool bold)
{
    QFont f(UiFamily);
    f.setPointSizeF(points);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace corvanel
