#include "EndSignals.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace corvanel {
namespace {

constexpr std::array<int, 3> Handled {SIGTERM, SIGHUP, SIGINT};

// The pipe's two ends; the handler writes to the second.
int pipeEnds[2] = {-1, -1};
struct sigaction previous[Handled.size()];

void onSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // Non-blocking: with the pipe full, the signals already in it will do.
    [[maybe_unused]] const ssize_t ignored = ::write(pipeEnds[1], &number, 1);
    errno = saved;
}

} // namespace

EndSignals::EndSignals(std::function<void(int)> end, QObject *parent) : QObject(parent), m_end(std::move(end))
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the signals keep their default action: the program ends without tidying up
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &EndSignals::readPipe);
    struct sigaction action
    {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < Handled.size(); ++i)
        ::sigaction(Handled[i], &action, &previous[i]);
}

EndSignals::~EndSignals()
{
    if (!m_notifier)
        return;
    for (size_t i = 0; i < Handled.size(); ++i)
        ::sigaction(Handled[i], &previous[i], nullptr);
    delete m_notifier;
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

void EndSignals::readPipe()
{
    unsigned char numbers[16];
    ssize_t n = 0;
    while ((n = ::read(pipeEnds[0], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (m_received == 0)
                m_received = numbers[i];
            m_end(numbers[i]);
        }
    }
}

} // namespace corvanel
