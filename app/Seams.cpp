#include "app/Seams.h"

#include <QFileDialog>
#include <QMessageBox>
#include <chrono>
#include <thread>

namespace corvanel {
namespace {

void realMessageBox(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf16(AppTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

QString realSaveFileName(QWidget *parent)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Salva con nome"));
}

void realSleep(qint32 ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

MessageHandler &messageHandler()
{
    static MessageHandler handler = realMessageBox;
    return handler;
}

FileNameHandler &fileNameHandler()
{
    static FileNameHandler handler = realSaveFileName;
    return handler;
}

SleepHandler &sleepHandler()
{
    static SleepHandler handler = realSleep;
    return handler;
}

} // namespace

void MsgBox(QWidget *parent, const QString &text) { messageHandler()(parent, text); }

MessageHandler setMessageHandler(MessageHandler handler)
{
    MessageHandler old = std::move(messageHandler());
    messageHandler() = handler ? std::move(handler) : MessageHandler(realMessageBox);
    return old;
}

QString SaveFileName(QWidget *parent) { return fileNameHandler()(parent); }

FileNameHandler setFileNameHandler(FileNameHandler handler)
{
    FileNameHandler old = std::move(fileNameHandler());
    fileNameHandler() = handler ? std::move(handler) : FileNameHandler(realSaveFileName);
    return old;
}

void Sleep(qint32 ms) { sleepHandler()(ms); }

SleepHandler setSleepHandler(SleepHandler handler)
{
    SleepHandler old = std::move(sleepHandler());
    sleepHandler() = handler ? std::move(handler) : SleepHandler(realSleep);
    return old;
}

} // namespace corvanel
