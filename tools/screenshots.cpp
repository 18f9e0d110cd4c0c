// Renders both windows to PNG files for the README: the main window on a
// pseudo-terminal of its own (so no machine port is touched), with a little
// received data, and the help window.

#include "Pty.h"
#include "Form1.h"
#include "TermiosComm.h"

#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/images");
    QDir().mkpath(outDir);

    Pty pty;
    if (!pty.isValid())
        return 1;
    const QString device = pty.slavePath();

    corvanel::Form1 form(std::make_unique<corvanel::TermiosComm>([device] { return QStringList {device}; }));
    form.Form_Load();
    form.show();
    const char reply[] = "OK\r\nAT+VER=1.06\r\n";
    pty.write(QByteArray(reply, sizeof reply - 1));

    QTimer::singleShot(600, [&] {
        form.grab().save(outDir + QStringLiteral("/main-window.png"));
        form.Command7_Click();
        QTimer::singleShot(400, [&] {
            const auto tops = QApplication::topLevelWidgets();
            for (QWidget *w : tops) {
                if (w->objectName() == QLatin1String("Form2") && w->isVisible())
                    w->grab().save(outDir + QStringLiteral("/help-window.png"));
            }
            form.Command4_Click();
        });
    });
    return QApplication::exec();
}
