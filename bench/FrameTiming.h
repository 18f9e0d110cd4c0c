#pragma once

#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>

#include <atomic>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

class QWidget;

namespace corvanel {
class ReceiveView;
}

// What the long-capture benchmark needs to tell a slow frame's cause: the
// thread's own times, a fixed piece of arithmetic timed on the same thread
// and on another, and a clock on every paint of the receive box.

// This thread's CPU time, and the times it gave the CPU up (waited) and had
// it taken (was preempted): what a slow frame spent its time on.
struct ThreadTimes
{
    double cpuMs;
    double kernelMs; // of which in the kernel
    long waits;
    long preempted;
    long faults; // page faults, minor and major
    double stealMs; // the machine's CPUs' time taken by the hypervisor
    int cpu; // the CPU the thread is on
    // Ticks (of /proc/stat) each CPU spent handling interrupts, hard and
    // soft: without IRQ time accounting in the kernel, that time is charged
    // to whatever thread the interrupt came upon.
    std::vector<long long> interruptTicks;
    static ThreadTimes now();
};

// The same fixed piece of arithmetic, about 0.3 ms of it (a paint's
// average), run once a step on the same thread: how long it takes at its
// longest tells how slowly the machine ran this thread at times, whatever
// the program does.
struct Canary
{
    double longestMs = 0, shortestMs = 1e9;
    int over = 0, runs = 0;
    quint64 sink = 1;
    void run();
    void report() const;
};

// The same arithmetic on a thread of its own every 5 ms, for as long as the
// object lives: a thread that neither paints nor reads. Whether it too ran
// slowly while a paint was slow tells the machine's doing from the program's.
class ThreadCanary
{
public:
    ThreadCanary();
    ~ThreadCanary();
    ThreadCanary(const ThreadCanary &) = delete;
    ThreadCanary &operator=(const ThreadCanary &) = delete;
    // Its longest run overlapping [fromNs, toNs] of the steady clock; 0 if none.
    double longestBetween(qint64 fromNs, qint64 toNs) const;
    void report() const;

private:
    struct Run
    {
        qint64 startNs, endNs;
        double ms;
    };
    void work();
    mutable std::mutex m_mutex;
    std::deque<Run> m_recent; // the last second's
    double m_longestMs = 0, m_shortestMs = 1e9;
    int m_runs = 0, m_over = 0;
    std::atomic<bool> m_stop {false};
    std::thread m_thread;
};

qint64 steadyNs();

// Every paint of the box's viewport, timed from inside the event loop:
// arrivals' repaints too, not only those a step asks for. Those over SlowMs
// are described with the thread's times and, while a ThreadCanary is set,
// how the other thread's arithmetic ran meanwhile.
class PaintClock : public QApplication
{
public:
    using QApplication::QApplication;
    QWidget *viewport = nullptr;
    const corvanel::ReceiveView *box = nullptr;
    const ThreadCanary *otherThread = nullptr;
    double longestMs = 0;
    int paints = 0, over = 0;
    qint64 lastWholeNs = -1; // when the last paint that had all its text ended
    QElapsedTimer clock;
    double SlowMs = 16;
    QByteArray slow; // the paints over SlowMs, described

    bool notify(QObject *receiver, QEvent *e) override;
    void reset();
};

PaintClock *paintClock();

// A slow frame: how long, and what the thread did meanwhile.
QByteArray describe(double ms, const ThreadTimes &before);
