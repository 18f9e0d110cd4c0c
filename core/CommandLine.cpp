#include "CommandLine.h"

#include <QCommandLineParser>

namespace corvanel {
namespace {

// Options Qt 6.4 takes from the command line: QCoreApplication's,
// QGuiApplication's, QApplication's and the X11 platform's. They are
// declared so that the parser lets them through; QApplication reads them.
struct QtOption
{
    const char *name;
    bool takesValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"visual", true},
    {"style", true},
    {"stylesheet", true},
    {"qmljsdebugger", true},
    {"reverse", false},
    {"widgetcount", false},
    {"testability", false},
    {"nograb", false},
    {"dograb", false},
};

QString usage()
{
    return QStringLiteral("Usage: corvanel [options]\n"
                          "Tests a serial (RS-232) port by hand in a window with an Italian interface.\n"
                          "\n"
                          "Options:\n"
                          "  -h, --help     Show this help and exit.\n"
                          "  -v, --version  Show the version and exit.\n"
                          "\n"
                          "Qt's window-system options (-platform, -style, ...) are accepted too.\n"
                          "See corvanel(1).\n");
}

CommandLineOutcome fail(QString reason)
{
    if (!reason.endsWith(u'.'))
        reason += u'.';
    return {false, QStringLiteral("corvanel: %1 Try 'corvanel --help'.\n").arg(reason), true, 2};
}

} // namespace

CommandLineOutcome decideCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    // "-style Fusion" is one option with a value, as Qt reads it, not -s -t -y ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(help);
    parser.addOption(version);
    for (const QtOption &o : QtOptions) {
        QCommandLineOption option(QString::fromLatin1(o.name));
        if (o.takesValue)
            option.setValueName(QStringLiteral("value"));
        parser.addOption(option);
    }

    if (!parser.parse(arguments))
        return fail(parser.errorText().simplified()); // one line, whatever the parser says
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help))
        return {false, usage(), false, 0};
    if (parser.isSet(version))
        return {false, QStringLiteral("Corvanel %1\n").arg(QStringLiteral(CORVANEL_VERSION_STRING)), false, 0};
    return {};
}

} // namespace corvanel
