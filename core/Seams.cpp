#include "Seams.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace corvanel {
namespace {

void printMessage(QObject *, const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

QString noFileName(QObject *)
{
    return {};
}

void realSleep(qint32 ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

template <typename Handler>
Handler &handler(Handler fallback)
{
    static Handler h = fallback;
    return h;
}

template <typename Handler>
Handler replace(Handler &slot, Handler next, Handler fallback)
{
    Handler old = std::move(slot);
    slot = next ? std::move(next) : std::move(fallback);
    return old;
}

MessageHandler &messages()
{
    return handler<MessageHandler>(printMessage);
}
FileNameHandler &fileNames()
{
    return handler<FileNameHandler>(noFileName);
}
SleepHandler &sleeps()
{
    return handler<SleepHandler>(realSleep);
}

bool dialogsAllowed = true;

} // namespace

void MsgBox(QObject *parent, const QString &text)
{
    if (dialogsAllowed)
        messages()(parent, text);
}
MessageHandler setMessageHandler(MessageHandler h)
{
    return replace(messages(), std::move(h), MessageHandler(printMessage));
}

QString SaveFileName(QObject *parent)
{
    return dialogsAllowed ? fileNames()(parent) : QString();
}
FileNameHandler setFileNameHandler(FileNameHandler h)
{
    return replace(fileNames(), std::move(h), FileNameHandler(noFileName));
}

void setDialogsAllowed(bool allowed)
{
    dialogsAllowed = allowed;
}

void Sleep(qint32 ms)
{
    sleeps()(ms);
}
SleepHandler setSleepHandler(SleepHandler h)
{
    return replace(sleeps(), std::move(h), SleepHandler(realSleep));
}

} // namespace corvanel
