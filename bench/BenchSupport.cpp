#include "BenchSupport.h"

#include "Form1.h"
#include "Seams.h"
#include "TermiosComm.h"

#include <cstdio>
#include <cstdlib>

#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

qint64 residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    qint64 pages = 0;
    qint64 resident = 0;
    statm >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void printMessages()
{
    corvanel::setMessageHandler([](QObject *, const QString &text) { std::printf("message: %s\n", qPrintable(text)); });
}

std::unique_ptr<corvanel::Form1> windowOnPty(Pty &pty)
{
    if (!pty.isValid())
        std::exit(1);
    const QString device = pty.slavePath();
    auto form = std::make_unique<corvanel::Form1>(
        std::make_unique<corvanel::TermiosComm>([device] { return QStringList {device}; }));
    form->setProgramEnd([] {});
    form->Form_Load();
    return form;
}
