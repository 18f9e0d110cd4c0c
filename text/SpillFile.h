#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace corvanel {

// Where the older part of a ByteStore lives. Tests replace it to inject faults.
class SpillFile
{
public:
    virtual ~SpillFile();
    // Writes n bytes at offset; false if the file cannot hold them (disk full, I/O error).
    virtual bool write(qint64 offset, const char *data, qsizetype n) = 0;
    // Reads n bytes at offset into data; false on failure.
    virtual bool read(qint64 offset, char *data, qsizetype n) const = 0;
    // Gives the space back (the store was cleared).
    virtual void truncate() = 0;
    // Hints that [offset, offset + n) will be read soon: a file may bring it
    // in from the disk meanwhile, off the caller's thread. It must not change
    // what any read returns. None by default.
    virtual void readAhead(qint64 offset, qint64 n);
    // Reads like read(), but only what can be had without waiting for the
    // disk (what the page cache holds): WouldWait when some of it cannot, and
    // then data holds nothing to use. By default a plain read().
    enum class Outcome { Done, WouldWait, Failed };
    virtual Outcome readAtHand(qint64 offset, char *data, qsizetype n) const;
    // Brings [offset, offset + n) in from the disk, off the caller's thread,
    // then calls arrived() from that thread; false when it cannot (the
    // caller reads for itself). It must not change what any read returns.
    virtual bool fetch(qint64 offset, qint64 n, const std::function<void()> &arrived);
    // Why the last write() or read() failed, for the one line on standard error.
    virtual QString errorString() const;
};

// A temporary file that no directory lists, opened for reading and writing in
// $XDG_CACHE_HOME (else ~/.cache; created 0700 if missing), else in the system
// temporary directory; null when neither can hold one. The cache directory
// comes first because the system one is often a memory file system.
std::unique_ptr<SpillFile> openSpillFile();

} // namespace corvanel
