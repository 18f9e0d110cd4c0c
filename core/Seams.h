#pragma once

#include <QString>
#include <functional>

class QObject;

namespace corvanel {

// The program's title, the caption of every message box.
inline constexpr char16_t AppTitle[] = u"Dravik";

// The few places where the program waits on a person or on time. Each goes
// through a handler that the program sets at its start (app/) and that tests
// replace, so that nothing ever waits in a test. Until one is set, messages
// go to standard error and no file name is given.

// A modal message box over the window `parent`: the text, an OK button, no icon.
void MsgBox(QObject *parent, const QString &text);
using MessageHandler = std::function<void(QObject *parent, const QString &text)>;
// Installs a handler and returns the previous one; an empty handler restores the default.
MessageHandler setMessageHandler(MessageHandler handler);

// The name of a file to save to, asked in the desktop's own dialog; empty
// when the user cancels.
QString SaveFileName(QObject *parent);
using FileNameHandler = std::function<QString(QObject *parent)>;
FileNameHandler setFileNameHandler(FileNameHandler handler);

// Once the program has ended no dialog may appear: while dialogs are not
// allowed, MsgBox shows nothing and SaveFileName gives no name, whatever
// handler is set. The main window allows them when it is made and forbids
// them when the program ends.
void setDialogsAllowed(bool allowed);

// Suspends the calling thread for ms milliseconds (nothing for ms <= 0).
void Sleep(qint32 ms);
using SleepHandler = std::function<void(qint32 ms)>;
SleepHandler setSleepHandler(SleepHandler handler);

} // namespace corvanel
