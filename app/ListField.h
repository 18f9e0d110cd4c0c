#pragma once

class QComboBox;

namespace corvanel {

// Makes a list's text field a place to type and nothing more. What is typed
// stays in the field as typed until a choice from the list replaces it: no
// key (Return, Enter, Tab), no loss of focus and no completion turns it into
// a choice (activated), nothing is completed into the field and nothing typed
// is added to the list. A choice from the open list (mouse, or the arrows and
// Return), and an arrow key on the closed list, stay choices.
void keepTypingInTheField(QComboBox *list);

} // namespace corvanel
