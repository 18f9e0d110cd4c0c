#include "SendBox.h"

#include "SendRules.h"

#include <QPlainTextEdit>

namespace corvanel {

SendBox::SendBox(QPlainTextEdit *box, QObject *parent) : QObject(parent), m_box(box)
{
    connect(m_box, &QPlainTextEdit::textChanged, this, [this] { m_stale = true; });
}

const QString &SendBox::wireText() const
{
    if (m_stale) {
        m_text = sendBoxWireText(m_box->document()->toRawText());
        m_stale = false;
    }
    return m_text;
}

} // namespace corvanel
