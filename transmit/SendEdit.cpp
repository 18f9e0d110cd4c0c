#include "SendEdit.h"

#include <QMimeData>

namespace corvanel {
namespace {

// Something to insert: a source with at least one format.
bool offersData(const QMimeData *source)
{
    return source && !source->formats().isEmpty();
}

} // namespace

bool SendEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return offersData(source) && QPlainTextEdit::canInsertFromMimeData(source);
}

void SendEdit::insertFromMimeData(const QMimeData *source)
{
    if (offersData(source))
        QPlainTextEdit::insertFromMimeData(source);
}

} // namespace corvanel
