#include "ListField.h"

#include <QComboBox>
#include <QLineEdit>

namespace corvanel {

void keepTypingInTheField(QComboBox *list)
{
    QLineEdit *field = list->lineEdit();
    // QComboBox makes the field's text a choice along three paths, each cut
    // where it starts. Return: returnPressed adds the text to the list, or
    // picks the item of that text (unless the insert policy is NoInsert).
    // Return, Enter, and the loss of focus after an edit: editingFinished
    // picks the item of that text. The default inline completer fills the
    // field with the first item that starts with what was typed ("1" becomes
    // "110", "e" becomes "E"), which editingFinished then picks; its
    // activated signal picks the item too.
    list->setInsertPolicy(QComboBox::NoInsert);
    QObject::disconnect(field, &QLineEdit::returnPressed, list, nullptr);
    QObject::disconnect(field, &QLineEdit::editingFinished, list, nullptr);
    list->setCompleter(nullptr); // the field deletes the one it owned
}

} // namespace corvanel
