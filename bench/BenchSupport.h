#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>

namespace corvanel {
class Form1;
}

// Shared by the benchmarks: a pseudo-terminal whose slave side is the port
// under test, and process figures.
struct BenchPty {
    int master = -1;
    QString slavePath;
    bool open(); // raw mode on both sides
    void close();
};

qint64 residentBytes();
double cpuSeconds(); // user + system of the whole process

// Message boxes print their text instead of waiting for a person.
void printMessages();

// The real main window, started on the slave side of a pseudo-terminal that
// this opens (the process ends if it cannot). Exit only closes the port.
std::unique_ptr<corvanel::Form1> windowOnPty(BenchPty &pty);
