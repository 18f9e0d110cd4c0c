#include "FrameTiming.h"

#include "ReceiveView.h"

#include <QEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// Time the machine's hypervisor gave to others while this machine's CPUs
// wanted it ("steal"), summed over the CPUs, in ms (10 ms steps).
double stolenMs()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    long long user, nice, system, idle, iowait, irq, softirq, steal = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    return double(steal) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

std::vector<long long> interruptTicksNow()
{
    std::ifstream stat("/proc/stat");
    std::string name;
    std::vector<long long> ticks;
    std::string line;
    std::getline(stat, line); // all CPUs
    while (stat >> name && name.rfind("cpu", 0) == 0) {
        long long user, nice, system, idle, iowait, irq, softirq;
        stat >> user >> nice >> system >> idle >> iowait >> irq >> softirq;
        ticks.push_back(irq + softirq);
        std::getline(stat, line);
    }
    return ticks;
}

quint64 arithmetic(quint64 sink)
{
    for (int i = 0; i < 300'000; ++i)
        sink = sink * 6364136223846793005ULL + 1442695040888963407ULL;
    return sink;
}

} // namespace

ThreadTimes ThreadTimes::now()
{
    timespec cpu {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    rusage use {};
    ::getrusage(RUSAGE_THREAD, &use);
    return {double(cpu.tv_sec) * 1e3 + double(cpu.tv_nsec) / 1e6,
            double(use.ru_stime.tv_sec) * 1e3 + double(use.ru_stime.tv_usec) / 1e3,
            use.ru_nvcsw,
            use.ru_nivcsw,
            use.ru_minflt + use.ru_majflt,
            stolenMs(),
            ::sched_getcpu(),
            interruptTicksNow()};
}

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void Canary::run()
{
    QElapsedTimer t;
    t.start();
    sink = arithmetic(sink);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    longestMs = std::max(longestMs, ms);
    shortestMs = std::min(shortestMs, ms);
    over += ms > 16 ? 1 : 0;
    ++runs;
}

void Canary::report() const
{
    std::printf("  the same arithmetic once a step: shortest %.2f ms, longest %.2f ms, %d of %d over 16 ms%s\n",
                shortestMs, longestMs, over, runs, sink == 0 ? " " : "");
}

ThreadCanary::ThreadCanary() : m_thread(&ThreadCanary::work, this) {}

ThreadCanary::~ThreadCanary()
{
    m_stop = true;
    m_thread.join();
}

void ThreadCanary::work()
{
    quint64 sink = 1;
    while (!m_stop) {
        const qint64 start = steadyNs();
        sink = arithmetic(sink);
        const qint64 end = steadyNs();
        const double ms = double(end - start) / 1e6 + (sink == 0 ? 1e-9 : 0);
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_recent.push_back({start, end, ms});
            while (m_recent.front().endNs < end - 1'000'000'000)
                m_recent.pop_front();
            m_longestMs = std::max(m_longestMs, ms);
            m_shortestMs = std::min(m_shortestMs, ms);
            m_over += ms > 4 ? 1 : 0;
            ++m_runs;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

double ThreadCanary::longestBetween(qint64 fromNs, qint64 toNs) const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    double longest = 0;
    for (const Run &r : m_recent) {
        if (r.endNs >= fromNs && r.startNs <= toNs)
            longest = std::max(longest, r.ms);
    }
    return longest;
}

void ThreadCanary::report() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    std::printf("  the same arithmetic on another thread every 5 ms: shortest %.2f ms, longest %.2f ms, %d of %d "
                "over 4 ms\n",
                m_shortestMs, m_longestMs, m_over, m_runs);
}

bool PaintClock::notify(QObject *receiver, QEvent *e)
{
    if (receiver != viewport || e->type() != QEvent::Paint)
        return QApplication::notify(receiver, e);
    const qint64 blank = box->framesWithoutText();
    const ThreadTimes before = ThreadTimes::now();
    const qint64 steadyStart = steadyNs();
    const qint64 start = clock.nsecsElapsed();
    const bool done = QApplication::notify(receiver, e);
    const qint64 end = clock.nsecsElapsed();
    const double ms = double(end - start) / 1e6;
    longestMs = std::max(longestMs, ms);
    ++paints;
    over += ms > 16 ? 1 : 0;
    if (ms > SlowMs) {
        slow += describe(ms, before);
        if (otherThread) {
            slow.chop(2); // ");"
            slow += ", the other thread's arithmetic meanwhile at its longest "
                    + QByteArray::number(otherThread->longestBetween(steadyStart, steadyNs()), 'f', 2) + " ms);";
        }
    }
    if (box->framesWithoutText() == blank)
        lastWholeNs = end;
    return done;
}

void PaintClock::reset()
{
    longestMs = 0;
    paints = over = 0;
    lastWholeNs = -1;
    slow.clear();
}

PaintClock *paintClock()
{
    return static_cast<PaintClock *>(QCoreApplication::instance());
}

namespace {

QByteArray interruptsOn(int cpu, const ThreadTimes &before, const ThreadTimes &after)
{
    const size_t i = size_t(cpu);
    if (cpu < 0 || i >= before.interruptTicks.size() || i >= after.interruptTicks.size())
        return {};
    return ", interrupts' ticks on it " + QByteArray::number(after.interruptTicks[i] - before.interruptTicks[i]);
}

} // namespace

QByteArray describe(double ms, const ThreadTimes &before)
{
    const ThreadTimes after = ThreadTimes::now();
    timespec mono {};
    ::clock_gettime(CLOCK_MONOTONIC, &mono);
    return " " + QByteArray::number(ms, 'f', 1) + " ms ending at "
           + QByteArray::number(double(mono.tv_sec) + double(mono.tv_nsec) / 1e9, 'f', 3) + " (CPU "
           + QByteArray::number(after.cpuMs - before.cpuMs, 'f', 1) + " ms, "
           + QByteArray::number(after.kernelMs - before.kernelMs, 'f', 0) + " of them in the kernel, waited "
           + QByteArray::number(after.waits - before.waits) + ", preempted "
           + QByteArray::number(after.preempted - before.preempted) + ", page faults "
           + QByteArray::number(after.faults - before.faults) + ", the machine's CPUs stolen "
           + QByteArray::number(after.stealMs - before.stealMs, 'f', 0) + " ms, on CPU "
           + QByteArray::number(before.cpu) + (after.cpu == before.cpu ? "" : " then " + QByteArray::number(after.cpu))
           + interruptsOn(after.cpu, before, after) + ");";
}
