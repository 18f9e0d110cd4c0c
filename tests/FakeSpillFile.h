#pragma once

#include "ByteStore.h"

#include <QByteArray>
#include <QString>
#include <climits>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// A spill file in memory whose writes and reads fail on demand.
struct FakeDisk
{
    QByteArray bytes;
    int opens = 0;
    int writes = 0; // attempts, failed ones included
    int failFrom = INT_MAX, failUntil = INT_MAX; // attempts in [from, until] fail
    bool failReads = false;
    bool misalignedWrite = false; // a write that was not one whole chunk at a chunk boundary
    qint64 chunk = 0;
    std::vector<std::pair<qint64, qint64>> readAheads; // (offset, length) asked for, in order
    int reads = 0; // read() calls: those that wait for the disk
    int atHandLooks = 0; // readAtHand() calls: looks at the page cache
    // While set, readAtHand() says it would wait for the disk; fetches are
    // kept for arrive().
    bool slow = false;
    std::vector<std::pair<qint64, qint64>> fetches;
    std::vector<std::function<void()>> arrivals;
    // The fetched ranges are in: the disk is fast again and the calls are made.
    void arrive();
};

// Its files: each a view of the one disk.
corvanel::ByteStore::FileFactory fakeFiles(const std::shared_ptr<FakeDisk> &disk);

// A spill file that keeps nothing, for stores of gigabytes: byte i of it is
// pattern[i % pattern.size()]. Each write is checked against the pattern at
// its ends (mismatches counts those that differ).
struct PatternDisk
{
    QByteArray pattern;
    qint64 size = 0; // bytes written, until truncated
    int mismatches = 0;
};

corvanel::ByteStore::FileFactory patternFiles(const std::shared_ptr<PatternDisk> &disk);

// Bytes that differ at every offset (a function of it), for checking reads.
QByteArray pattern(qint64 from, qsizetype n);

// A store with a 4096-byte window on a fake disk, holding 65536 pattern
// bytes: all but the last window spilled, in blocks of 1024.
struct SpilledStore
{
    std::shared_ptr<FakeDisk> disk = std::make_shared<FakeDisk>();
    corvanel::ByteStore store {4096, fakeFiles(disk)};
    QByteArray bytes = pattern(0, 65536);
    SpilledStore()
    {
        disk->chunk = store.chunkSize();
        store.append(bytes.constData(), bytes.size());
    }
};

// The spill file this process has open in dir, as /proc names it ("" if none).
QString openFileIn(const QString &dir);
