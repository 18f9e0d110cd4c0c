// Renders both windows to PNG files for the README: the main window on a
// pseudo-terminal of its own (so no machine port is touched), with a little
// received data, and the help window.

#include "app/Form1.h"
#include "help/Form2.h"
#include "serial/QtSerialComm.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QTimer>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/images");
    QDir().mkpath(outDir);

    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return 1;
    termios tio {};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    const QString device = QString::fromLocal8Bit(name);

    corvanel::Form1 form(std::make_unique<corvanel::QtSerialComm>([device] { return QStringList {device}; }));
    form.Form_Load();
    form.show();
    const char reply[] = "OK\r\nAT+VER=1.06\r\n";
    (void)!::write(master, reply, sizeof reply - 1);

    QTimer::singleShot(600, [&] {
        form.grab().save(outDir + QStringLiteral("/main-window.png"));
        form.Command7_Click();
        QTimer::singleShot(400, [&] {
            form.helpWindow()->window()->grab().save(outDir + QStringLiteral("/help-window.png"));
            form.Command4_Click();
        });
    });
    const int rc = QApplication::exec();
    ::close(master);
    return rc;
}
