#pragma once

#include <QPlainTextEdit>

namespace corvanel {

// The send box's text field: a QPlainTextEdit that survives a paste of
// nothing. Qt 6.4's QWidgetTextControl::insertFromMimeData compares the
// first of the source's formats without looking whether there is one, and
// the X clipboard or selection offers none when no program owns it (the one
// the text was copied from has ended): Ctrl+V, Shift+Insert, a middle click,
// the menu's "Incolla" or a drop would crash. All of them come here.
class SendEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit SendEdit(QWidget *parent = nullptr) : QPlainTextEdit(parent) {}

protected:
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
};

} // namespace corvanel
