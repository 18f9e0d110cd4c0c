#include "ReceiveAnnouncer.h"

#include "ReadableText.h"

#include <QAccessible>
#include <algorithm>

namespace corvanel {

ReceiveAnnouncer::ReceiveAnnouncer(QObject *target, const ReadableText &text) : m_target(target), m_text(text)
{
    m_quiet.setSingleShot(true);
    QObject::connect(&m_quiet, &QTimer::timeout, target, [this] { arrivals(true); });
}

int ReceiveAnnouncer::offset(qint64 pos) const
{
    return static_cast<int>(m_text.accessibleWindow().offset(pos));
}

void ReceiveAnnouncer::appended(qint64 from)
{
    if (m_unannouncedFrom < 0)
        m_unannouncedFrom = from;
}

void ReceiveAnnouncer::arrivals(bool settled)
{
    const qint64 from = m_unannouncedFrom;
    const qint64 size = m_text.length();
    if (from < 0 || from >= size || !QAccessible::isActive()) {
        m_unannouncedFrom = -1;
        m_quiet.stop();
        return;
    }
    const qint64 lastStart
        = m_text.rowRange(m_text.rowCount() - 1).first; // the row still growing (empty after a break)
    qint64 start = 0;
    qint64 end = size;
    if (settled) {
        // The row of the last character, and the one before it if that row is unfinished.
        qint64 row = m_text.rowAt(size - 1);
        if (lastStart < size && row > 0)
            --row;
        start = m_text.rowRange(row).first;
    } else if (lastStart > from && (!m_lastAnnounced.isValid() || m_lastAnnounced.elapsed() >= AnnounceMs)) {
        start = m_text.rowRange(m_text.rowAt(lastStart - 1)).first; // the newest whole row
        end = lastStart;
    } else {
        m_quiet.start(AnnounceQuietMs);
        return;
    }
    start = std::max({start, from, end - AccessibleEventCap});
    m_unannouncedFrom = end < size ? end : -1;
    if (m_unannouncedFrom < 0)
        m_quiet.stop();
    else
        m_quiet.start(AnnounceQuietMs);
    m_lastAnnounced.start();
    QAccessibleTextInsertEvent ev(m_target, offset(start), m_text.accessibleText(start, end));
    QAccessible::updateAccessibility(&ev);
}

QString ReceiveAnnouncer::aboutToRemove(qint64 pos, qint64 length) const
{
    if (!QAccessible::isActive())
        return {};
    return m_text.accessibleText(pos, pos + std::min(length, AccessibleEventCap));
}

void ReceiveAnnouncer::edited(qint64 pos, const QString &removed, qint64 inserted)
{
    if (!QAccessible::isActive())
        return;
    const QString added = m_text.accessibleText(pos, pos + std::min(inserted, AccessibleEventCap));
    if (removed.isEmpty() && added.isEmpty())
        return;
    if (removed.isEmpty()) {
        QAccessibleTextInsertEvent ev(m_target, offset(pos), added);
        QAccessible::updateAccessibility(&ev);
    } else if (added.isEmpty()) {
        QAccessibleTextRemoveEvent ev(m_target, offset(pos), removed);
        QAccessible::updateAccessibility(&ev);
    } else {
        QAccessibleTextUpdateEvent ev(m_target, offset(pos), removed, added);
        QAccessible::updateAccessibility(&ev);
    }
}

void ReceiveAnnouncer::caretMoved(qint64 oldAnchor, qint64 oldCursor)
{
    if (!QAccessible::isActive())
        return;
    const qint64 cursor = m_text.cursorPosition();
    // The anchor is the selection's other end.
    const qint64 anchor = cursor == m_text.selectionStart() ? m_text.selectionEnd() : m_text.selectionStart();
    const bool hadSelection = oldAnchor != oldCursor;
    const bool hasSelection = anchor != cursor;
    if ((hadSelection || hasSelection) && (oldAnchor != anchor || oldCursor != cursor)) {
        QAccessibleTextSelectionEvent ev(m_target, offset(m_text.selectionStart()), offset(m_text.selectionEnd()));
        ev.setCursorPosition(offset(cursor));
        QAccessible::updateAccessibility(&ev);
    }
    if (oldCursor != cursor) {
        QAccessibleTextCursorEvent ev(m_target, offset(cursor));
        QAccessible::updateAccessibility(&ev);
    }
}

} // namespace corvanel
