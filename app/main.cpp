#include "CommandLine.h"
#include "Program.h"
#include "SystemPorts.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    // The command line is read before QApplication exists: --help and
    // --version answer without connecting to a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const corvanel::CommandLineOutcome outcome = corvanel::decideCommandLine(arguments);
    if (!outcome.runWindow) {
        std::FILE *stream = outcome.toStandardError ? stderr : stdout;
        // A text that could not be written (a full disk, a closed pipe) is not success.
        if (std::fputs(outcome.text.toLocal8Bit().constData(), stream) < 0 || std::fflush(stream) != 0)
            return outcome.exitCode == 0 ? 1 : outcome.exitCode;
        return outcome.exitCode;
    }
    QApplication app(argc, argv);
    return corvanel::runProgram(app, corvanel::systemPorts);
}
