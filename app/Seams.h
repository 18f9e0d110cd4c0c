#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace corvanel {

// The program's title, the caption of every message box.
inline constexpr char16_t AppTitle[] = u"Dravik";

// Shows a modal message box: the text, an OK button, no icon. Tests replace
// the handler so that nothing waits for a person.
void MsgBox(QWidget *parent, const QString &text);
using MessageHandler = std::function<void(QWidget *parent, const QString &text)>;
// Installs a handler and returns the previous one; an empty handler restores the real box.
MessageHandler setMessageHandler(MessageHandler handler);

// Asks for the name of a file to save to, in the desktop's own dialog; empty
// when the user cancels. Tests replace the handler.
QString SaveFileName(QWidget *parent);
using FileNameHandler = std::function<QString(QWidget *parent)>;
FileNameHandler setFileNameHandler(FileNameHandler handler);

// Suspends the calling thread for ms milliseconds (nothing for ms <= 0).
void Sleep(qint32 ms);
using SleepHandler = std::function<void(qint32 ms)>;
SleepHandler setSleepHandler(SleepHandler handler);

} // namespace corvanel
