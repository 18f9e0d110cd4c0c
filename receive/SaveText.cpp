#include "SaveText.h"

#include "Messages.h"
#include "PieceText.h"

#include <QSaveFile>
#include <cerrno>
#include <unistd.h>

namespace corvanel {
namespace {

// Writes all of it to the descriptor; 0, or the errno of the failure.
int writeAll(int fd, const char *data, qsizetype n)
{
    while (n > 0) {
        const ssize_t done = ::write(fd, data, size_t(n));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return done < 0 ? errno : EIO;
        data += done;
        n -= done;
    }
    return 0;
}

} // namespace

bool saveText(const PieceText &text, const QString &path, QString *error)
{
    QSaveFile file(path);
    const qint64 readFailures = text.store().readFailures();
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // Straight to the descriptor, and flushed before the commit: Qt 6.4
    // gives a write the disk cuts short part-way (ENOSPC) no reason at all,
    // and passes off one cut in its last buffered write as saved.
    int failure = 0;
    text.forEachPiece(0, text.size(), [&](const char *d, qsizetype n) {
        if (failure == 0)
            failure = writeAll(file.handle(), d, n);
    });
    if (failure == 0 && ::fsync(file.handle()) != 0)
        failure = errno;
    if (failure != 0 || text.store().readFailures() != readFailures) {
        // A write failed, or part of the log could not be read back: no copy is passed off.
        file.cancelWriting();
        *error = failure != 0 ? qt_error_string(failure) : msg::text(msg::RereadFailed);
        return false;
    }
    if (file.commit())
        return true;
    *error = file.errorString();
    return false;
}

} // namespace corvanel
