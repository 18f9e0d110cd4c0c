#pragma once

#include <QString>
#include <atomic>
#include <thread>

// A FIFO planted where a lock file may stand, as any user can in the shared
// lock directory. Opening it to read waits for a writer; a watcher plays
// that writer, so that a program which does open it is released rather than
// held for good, and records that it did.
class PlantedFifo
{
public:
    explicit PlantedFifo(QString path);
    ~PlantedFifo(); // stops the watcher and removes the FIFO
    PlantedFifo(const PlantedFifo &) = delete;
    PlantedFifo &operator=(const PlantedFifo &) = delete;

    bool isValid() const { return m_valid; }
    // Whether anyone opened the FIFO to read and waited there.
    bool readerWaited() const { return m_readerWaited; }

private:
    QString m_path;
    bool m_valid = false;
    std::atomic<bool> m_stop {false};
    std::atomic<bool> m_readerWaited {false};
    std::thread m_watcher;
};
