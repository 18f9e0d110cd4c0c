#include "Program.h"

#include "EndSignals.h"
#include "Form1.h"
#include "TermiosComm.h"

#include "Seams.h"
#include "Messages.h"

#include <QApplication>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>
#include <QWindow>
#include <csignal>

namespace corvanel {
namespace {

QWidget *windowOf(QObject *parent)
{
    return qobject_cast<QWidget *>(parent);
}

void messageBox(QObject *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf16(AppTitle), text, QMessageBox::Ok, windowOf(parent));
    box.exec();
}

QString saveFileDialog(QObject *parent)
{
    return QFileDialog::getSaveFileName(windowOf(parent), msg::text(msg::SaveAsTitle));
}

// Calls `shown` once, when the window is first on screen.
class FirstExposure : public QObject
{
public:
    FirstExposure(Form1 &form, std::function<void(Form1 &)> shown)
        : QObject(&form), m_form(form), m_shown(std::move(shown))
    {
        form.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && m_form.windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            m_shown(m_form);
        }
        return false;
    }

private:
    Form1 &m_form;
    std::function<void(Form1 &)> m_shown;
};

} // namespace

int runProgram(QApplication &app, const PortSource &ports, const std::function<void(Form1 &)> &shown,
               const QString &lockDirectory)
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

    setMessageHandler(messageBox);
    setFileNameHandler(saveFileDialog);

    int status = 0;
    int endedBy = 0;
    {
        Form1 form(
            std::make_unique<TermiosComm>(ports, lockDirectory.isEmpty() ? systemLockDirectory() : lockDirectory));
        // SIGTERM, SIGHUP and SIGINT do what Exit does: the port closes, its
        // queued output discarded and its locks removed.
        EndSignals endSignals([&form](int) { form.Command4_Click(); });
        form.Form_Load();
        // A signal handled while start-up's message was up has ended the program already.
        if (!form.ended()) {
            form.winId(); // the native window now exists, so that its first exposure can be watched
            if (shown)
                new FirstExposure(form, shown);
            form.show();
            status = app.exec();
        }
        endedBy = endSignals.received();
    }
    if (endedBy == SIGINT) {
        // Interrupted: tidied up, the program ends as the signal ends it, so
        // that the shell or script that started it knows (status 130).
        std::signal(SIGINT, SIG_DFL);
        std::raise(SIGINT);
    }
    return status;
}

} // namespace corvanel
