#pragma once

#include <QString>

class QLabel;
class QLineEdit;

namespace corvanel {

// What the window's own controls tell screen readers beyond what Qt gives.
// Nothing here changes what is drawn or where.

// A lamp is two images (the lit one above the unlit one) and a caption, but
// one object to a screen reader: the unlit image, which always shows, speaks
// for it, named after its line with its state ("CTS acceso", "CTS spento"),
// and says so (a name change) whenever the lit image is shown or hidden. The
// lit image and the caption are left out, so that the lamp is read once.
void exposeLamp(QLabel *unlit, QLabel *lit, QLabel *caption, const QString &line);

// A one-line field read by a screen reader as a whole: its attribute runs
// hold the offset asked about (Qt's own answer for a QLineEdit is an empty
// run, and a reader that joins runs loses the last character).
void exposeWholeRuns(QLineEdit *field);

// A lamp's name as a screen reader hears it.
QString lampName(const QString &line, bool lit);

} // namespace corvanel
