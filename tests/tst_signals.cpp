// SIGTERM, SIGHUP and SIGINT sent to the running program (the program's own
// start, on a pseudo-terminal port): it ends as Exit ends it, its lock files
// (ours, and the one where QSerialPort-based programs look) gone, with
// status 0, or killed by SIGINT for SIGINT.

#include "Program.h"
#include "Pty.h"
#include "TermiosComm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

using namespace corvanel;

namespace {

// The program, started by the test as a process of its own.
struct Program
{
    pid_t pid = -1;
    int out = -1; // its standard output

    Program(const QString &device, const QString &lockDirectory)
    {
        int ends[2];
        if (::pipe(ends) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, ends[0]);
        const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        const QByteArray dev = QFile::encodeName(device), locks = QFile::encodeName(lockDirectory);
        char *argv[] = {const_cast<char *>(self.constData()), const_cast<char *>("--program"),
                        const_cast<char *>(dev.constData()), const_cast<char *>(locks.constData()), nullptr};
        if (::posix_spawn(&pid, self.constData(), &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        out = ends[0];
    }
    ~Program()
    {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        ::close(out);
    }
    // Waits for the line the program prints once its window is up.
    bool shown()
    {
        QByteArray line;
        char c = 0;
        pollfd p {out, POLLIN, 0};
        while (::poll(&p, 1, 20000) > 0 && ::read(out, &c, 1) == 1) {
            if (c == '\n')
                return line == "shown";
            line += c;
        }
        return false;
    }
    // The wait status once it has ended, or -1 after 20 s.
    int status()
    {
        QElapsedTimer t;
        t.start();
        int st = 0;
        while (t.elapsed() < 20000) {
            if (::waitpid(pid, &st, WNOHANG) == pid) {
                pid = -1;
                return st;
            }
            QThread::msleep(5);
        }
        return -1;
    }
};

} // namespace

class TestSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void endsAsExitDoes_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void endsAsExitDoes()
    {
        QFETCH(int, signal);
        Pty pty;
        QTemporaryDir locks;
        const QString ours = QDir(locks.path()).filePath(lockNames(pty.slavePath()).constFirst());
        const QString qts = serialPortLockFile(pty.slavePath());
        Program program(pty.slavePath(), locks.path());
        QVERIFY(program.pid > 0);
        QVERIFY(program.shown());
        QVERIFY(QFile::exists(ours));
        QVERIFY(QFile::exists(qts));
        QCOMPARE(::kill(program.pid, signal), 0);
        const int status = program.status();
        QVERIFY(status != -1);
        if (signal == SIGINT) {
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT, qPrintable(QString::number(status)));
        } else {
            QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
        }
        QVERIFY2(!QFile::exists(ours), qPrintable(ours));
        QVERIFY2(!QFile::exists(qts), qPrintable(qts));
    }
};

// The program: its window on the one port given, with its locks in the given directory.
static int runOn(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString device = QFile::decodeName(argv[2]);
    return runProgram(
        app, [device] { return QStringList {device}; },
        [](Form1 &) {
            std::printf("shown\n");
            std::fflush(stdout);
        },
        QFile::decodeName(argv[3]));
}

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--program") == 0)
        return runOn(argc, argv);
    QCoreApplication app(argc, argv);
    TestSignals test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_signals.moc"
