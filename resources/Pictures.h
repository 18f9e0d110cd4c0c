#pragma once

#include <QIcon>
#include <QPixmap>

namespace corvanel {

// The 15 x 15 lamp picture: green when lit, red when not.
QPixmap lampPicture(bool lit);

// The application icon, at every size the window system asks for.
QIcon applicationIcon();

} // namespace corvanel
