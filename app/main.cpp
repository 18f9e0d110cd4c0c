#include "app/Form1.h"
#include "serial/QtSerialComm.h"

#include <QApplication>
#include <QLocale>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvanel"));
    QApplication::setApplicationVersion(QStringLiteral("1.06"));
    QApplication::setOrganizationName(QStringLiteral("Corvanel"));
    QApplication::setDesktopFileName(QStringLiteral("org.example.Corvanel"));

    corvanel::Form1 form(std::make_unique<corvanel::QtSerialComm>());
    form.Form_Load();
    form.show();
    return QApplication::exec();
}
