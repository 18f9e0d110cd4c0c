#pragma once

#include <QString>
#include <QtGlobal>

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
