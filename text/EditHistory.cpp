#include "EditHistory.h"

namespace corvanel {

void EditHistory::record(Kind kind, Change change)
{
    m_redo.clear();
    if (!join(kind, change))
        m_undo.push_back({kind, {std::move(change)}});
    m_mergeable = kind != Kind::Other;
}

bool EditHistory::join(Kind kind, Change &change)
{
    Entry *last = m_undo.empty() ? nullptr : &m_undo.back();
    if (!m_mergeable || !last || last->kind != kind || last->changes.size() != 1)
        return false;
    Change &prev = last->changes.front();
    if (kind == Kind::Typing && change.removed.empty() && change.pos == prev.pos + PieceText::lengthOf(prev.inserted)) {
        prev.inserted.insert(prev.inserted.end(), change.inserted.begin(), change.inserted.end());
        return true;
    }
    if (kind == Kind::Backspace && change.pos + PieceText::lengthOf(change.removed) == prev.pos) {
        change.removed.insert(change.removed.end(), prev.removed.begin(), prev.removed.end());
        prev.removed = std::move(change.removed);
        prev.pos = change.pos;
        return true;
    }
    if (kind == Kind::Delete && change.pos == prev.pos) {
        prev.removed.insert(prev.removed.end(), change.removed.begin(), change.removed.end());
        return true;
    }
    return false;
}

void EditHistory::recordStep(Step changes)
{
    m_redo.clear();
    m_undo.push_back({Kind::Other, std::move(changes)});
    m_mergeable = false;
}

void EditHistory::clear()
{
    m_undo.clear();
    m_redo.clear();
    m_mergeable = false;
}

EditHistory::Step EditHistory::undo()
{
    if (m_undo.empty())
        return {};
    m_mergeable = false;
    m_redo.push_back(std::move(m_undo.back()));
    m_undo.pop_back();
    return m_redo.back().changes;
}

EditHistory::Step EditHistory::redo()
{
    if (m_redo.empty())
        return {};
    m_mergeable = false;
    m_undo.push_back(std::move(m_redo.back()));
    m_redo.pop_back();
    return m_undo.back().changes;
}

} // namespace corvanel
