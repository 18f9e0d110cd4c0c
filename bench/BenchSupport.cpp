#include "BenchSupport.h"

#include "app/Form1.h"
#include "app/Seams.h"
#include "serial/QtSerialComm.h"

#include <cstdio>
#include <cstdlib>

#include <fstream>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

bool BenchPty::open()
{
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return false;
    termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    slavePath = QString::fromLocal8Bit(name);
    return true;
}

void BenchPty::close()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}

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
    corvanel::setMessageHandler([](QWidget *, const QString &text) { std::printf("message: %s\n", qPrintable(text)); });
}

std::unique_ptr<corvanel::Form1> windowOnPty(BenchPty &pty)
{
    if (!pty.open())
        std::exit(1);
    const QString device = pty.slavePath;
    auto form = std::make_unique<corvanel::Form1>(
        std::make_unique<corvanel::QtSerialComm>([device] { return QStringList {device}; }));
    form->setProgramEnd([] {});
    form->Form_Load();
    return form;
}
