#include "PlantedFifo.h"

#include <QFile>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

PlantedFifo::PlantedFifo(QString path) : m_path(std::move(path))
{
    const QByteArray name = QFile::encodeName(m_path);
    m_valid = ::mkfifo(name.constData(), 0666) == 0;
    if (!m_valid)
        return;
    m_watcher = std::thread([this, name] {
        while (!m_stop) {
            // Succeeds only while someone has the FIFO open for reading.
            const int fd = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0) {
                m_readerWaited = true;
                ::close(fd); // the reader sees the end of the file
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
}

PlantedFifo::~PlantedFifo()
{
    m_stop = true;
    if (m_watcher.joinable())
        m_watcher.join();
    if (m_valid)
        ::unlink(QFile::encodeName(m_path).constData());
}
