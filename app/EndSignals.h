#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace corvanel {

// SIGTERM, SIGHUP (the session ends) and SIGINT (Ctrl+C in the terminal)
// end the program the way Exit does, from the event loop: the handler only
// writes the signal's number into a pipe, which a notifier reads. One
// instance at a time; the previous handlers come back when it goes.
class EndSignals : public QObject
{
    Q_OBJECT
public:
    // `end` runs in the event loop, once for each signal that arrives.
    explicit EndSignals(std::function<void(int signal)> end, QObject *parent = nullptr);
    ~EndSignals() override;
    EndSignals(const EndSignals &) = delete;
    EndSignals &operator=(const EndSignals &) = delete;

    // The first of the signals that arrived, or 0.
    int received() const { return m_received; }

private:
    void readPipe();

    std::function<void(int)> m_end;
    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
};

} // namespace corvanel
