#pragma once

#include <QString>
#include <QStringList>

namespace corvanel {

// What the command line asks for. Either the window runs, or the program
// prints `text` (one or more whole lines) on standard output or standard
// error and ends with `exitCode`.
struct CommandLineOutcome
{
    bool runWindow = true;
    QString text;
    bool toStandardError = false;
    int exitCode = 0;
};

// Decides from the program's arguments (the first is the program itself),
// touching no window system:
// - "--help"/"-h": the usage on standard output, exit 0;
// - "--version"/"-v": "Corvanel <version>" on standard output, exit 0;
// - an unknown option, a missing option value or any other argument: one
//   line on standard error, exit 2;
// - otherwise the window runs. Qt's own window-system options ("-platform",
//   "-style", ...) are accepted and left to the application object.
CommandLineOutcome decideCommandLine(const QStringList &arguments);

} // namespace corvanel
