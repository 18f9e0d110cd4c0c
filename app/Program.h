#pragma once

#include "PortList.h"

#include <QString>
#include <functional>

class QApplication;

namespace corvanel {

class Form1;

// Sets up the application (names, version, Italian texts), creates the main
// window on the given ports (with its lock files in `lockDirectory`, by
// default the system's), runs start-up and shows it. `shown` is called with
// the window once it is on screen. SIGTERM and SIGHUP end the program as
// Exit does, and the result is 0; so does SIGINT, which then ends the
// process as the signal does. Returns the event loop's result.
int runProgram(QApplication &app, const PortSource &ports, const std::function<void(Form1 &)> &shown = {},
               const QString &lockDirectory = {});

} // namespace corvanel
