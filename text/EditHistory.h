#pragma once

#include "PieceText.h"

#include <vector>

namespace corvanel {

// The undo and redo lists of a text box, with the stock box's merge rules:
// characters typed one after another, and runs of Backspace or of Delete, are
// each undone as one step; anything else (a caret move, another kind of edit)
// ends the run. Only the user's edits are recorded: text that arrives is
// appended after them and never undone. Changes hold pieces of the text's
// store, so undoing copies nothing.
class EditHistory
{
public:
    enum class Kind { Other, Typing, Backspace, Delete };
    // One change of the text: at pos, `removed` was taken out and `inserted`
    // put in.
    struct Change
    {
        qint64 pos;
        PieceText::Pieces removed;
        PieceText::Pieces inserted;
    };
    // What one undo reverses, in the order the changes were made.
    using Step = std::vector<Change>;

    // Records a change made by the user and clears what could be redone.
    // Typing, Backspace and Delete join the last step when they continue it.
    void record(Kind kind, Change change);
    // Records changes made together (a drag that moves text) as one step
    // that nothing joins.
    void recordStep(Step changes);
    // The next change starts a step of its own.
    void breakRun() { m_mergeable = false; }
    void clear();

    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }
    // Moves the newest step to the redo list and returns it; the caller
    // reverses its changes, last first. Empty when there is nothing to undo.
    Step undo();
    // Moves the newest undone step back and returns it; the caller makes its
    // changes again, first first. Empty when there is nothing to redo.
    Step redo();

private:
    struct Entry
    {
        Kind kind;
        Step changes;
    };
    // Joins change to the last step if the run continues it.
    bool join(Kind kind, Change &change);

    std::vector<Entry> m_undo;
    std::vector<Entry> m_redo;
    bool m_mergeable = false; // the next typing or deletion may join the last step
};

} // namespace corvanel
