#include "Pictures.h"

#include <QPainter>
#include <QSvgRenderer>

// The pictures are compiled into a static library: register them before use.
static void initPictureResources()
{
    Q_INIT_RESOURCE(resources);
}

namespace corvanel {
namespace {

QPixmap render(const QString &resource, int size)
{
    static const bool registered = (initPictureResources(), true);
    (void)registered;
    QSvgRenderer svg(resource);
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    svg.render(&p);
    return pm;
}

} // namespace

QPixmap lampPicture(bool lit)
{
    static const QPixmap on = render(QStringLiteral(":/corvanel/lamp-lit.svg"), 15);
    static const QPixmap off = render(QStringLiteral(":/corvanel/lamp-unlit.svg"), 15);
    return lit ? on : off;
}

QIcon applicationIcon()
{
    static const QIcon icon = [] {
        QIcon i;
        for (int size : {16, 32, 48, 64, 128, 256})
            i.addPixmap(render(QStringLiteral(":/corvanel/corvanel.svg"), size));
        return i;
    }();
    return icon;
}

} // namespace corvanel
