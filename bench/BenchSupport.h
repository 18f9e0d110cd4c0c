#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

#include "Pty.h"

namespace corvanel {
class Form1;
}

// Shared by the benchmarks: process figures, and the real window on a
// pseudo-terminal.
qint64 residentBytes();
double cpuSeconds(); // user + system of the whole process

// Message boxes print their text instead of waiting for a person.
void printMessages();

// The real main window, started on the slave side of the pseudo-terminal
// (the process ends if there is none). Exit only closes the port.
std::unique_ptr<corvanel::Form1> windowOnPty(Pty &pty);
