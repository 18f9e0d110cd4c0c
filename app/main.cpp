#include "app/Form1.h"
#include "serial/QtSerialComm.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvanel"));
    QApplication::setApplicationVersion(QStringLiteral("1.06"));
    QApplication::setOrganizationName(QStringLiteral("Corvanel"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Corvanel"));

    // The program speaks Italian: Qt's own texts (context menus, dialogs) too.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Italian), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    corvanel::Form1 form(std::make_unique<corvanel::QtSerialComm>());
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
