#include "app/Program.h"

#include "app/Form1.h"
#include "serial/QtSerialComm.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <QWindow>

namespace corvanel {

int runProgram(QApplication &app, const PortSource &ports, const std::function<void(Form1 &)> &shown)
{
    QApplication::setApplicationName(QStringLiteral("Corvanel"));
    QApplication::setApplicationVersion(QStringLiteral(CORVANEL_VERSION_STRING));
    QApplication::setOrganizationName(QStringLiteral("Corvanel"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Corvanel"));

    // The program speaks Italian: Qt's own texts (context menus, dialogs) too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    Form1 form(std::make_unique<QtSerialComm>(ports));
    form.Form_Load();
    form.show();
    if (shown) {
        auto *poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, shown] {
            if (form.windowHandle() && form.windowHandle()->isExposed()) {
                poll->stop();
                shown(form);
            }
        });
        poll->start(1);
    }
    return app.exec();
}

} // namespace corvanel
