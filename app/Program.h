#pragma once

#include "PortList.h"

#include <functional>

class QApplication;

namespace corvanel {

class Form1;

// Sets up the application (names, version, Italian texts), creates the main
// window on the given ports, runs start-up and shows it. `shown` is called
// with the window once it is on screen. Returns the event loop's result.
int runProgram(QApplication &app, const PortSource &ports, const std::function<void(Form1 &)> &shown = {});

} // namespace corvanel
