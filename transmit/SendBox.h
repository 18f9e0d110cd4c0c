#pragma once

#include <QObject>
#include <QString>

class QPlainTextEdit;

namespace corvanel {

// The send box as the wire sees it: its text with every line break as CR LF.
// The conversion is kept until the box changes, since the hex send reads it
// again at every byte and converting a long box each time would cost its length.
class SendBox : public QObject
{
    Q_OBJECT
public:
    SendBox(QPlainTextEdit *box, QObject *parent);
    const QString &wireText() const;

private:
    QPlainTextEdit *m_box;
    mutable QString m_text;
    mutable bool m_stale = true;
};

} // namespace corvanel
