#include "OffsetWindow.h"

#include <algorithm>

namespace corvanel {
namespace {

qint64 roundUp(qint64 v, qint64 step)
{
    return v <= 0 ? 0 : (v + step - 1) / step * step;
}
qint64 roundDown(qint64 v, qint64 step)
{
    return v <= 0 ? 0 : v / step * step;
}

} // namespace

OffsetWindow OffsetWindow::of(qint64 length, qint64 caret, qint64 limit)
{
    OffsetWindow w;
    limit = std::max<qint64>(limit, 8);
    const qint64 step = limit / 8;
    const qint64 newest = roundUp(length - limit, step); // the newest `limit` characters at most
    if (caret >= newest) {
        w.m_headStart = newest;
        w.m_headSize = length - newest;
    } else {
        const qint64 half = limit / 2;
        w.m_tailStart = roundUp(length - (limit - half), step);
        // The caret lies within a quarter of the limit and a step of its start.
        w.m_headStart = roundDown(caret - half / 2, step);
        w.m_headSize = std::min(half, w.m_tailStart - w.m_headStart);
    }
    w.m_tailStart = std::max(w.m_tailStart, w.m_headStart + w.m_headSize);
    w.m_tailSize = length - w.m_tailStart;
    return w;
}

qint64 OffsetWindow::position(qint64 offset) const
{
    offset = std::clamp<qint64>(offset, 0, size());
    return offset < m_headSize ? m_headStart + offset : m_tailStart + (offset - m_headSize);
}

qint64 OffsetWindow::offset(qint64 pos) const
{
    if (pos < m_headStart)
        return 0;
    if (pos < m_headStart + m_headSize)
        return pos - m_headStart;
    return m_headSize + std::clamp<qint64>(pos - m_tailStart, 0, m_tailSize);
}

} // namespace corvanel
