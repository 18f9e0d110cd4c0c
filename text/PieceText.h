#pragma once

#include "ByteStore.h"

#include <QByteArray>
#include <memory>
#include <vector>

namespace corvanel {

// Text of one byte per character, held as pieces of an append-only store.
// Edits change only the list of pieces: text taken out is kept by reference
// to the store, so putting it back (an undo) copies nothing, however long it
// is. Appending costs what is appended; an edit costs the number of pieces.
class PieceText
{
public:
    // A run of the store: [at, at + length).
    struct Piece
    {
        qint64 at;
        qint64 length;
    };
    using Pieces = std::vector<Piece>;
    static qint64 lengthOf(const Pieces &pieces);

    explicit PieceText(std::unique_ptr<ByteStore> store = std::make_unique<ByteStore>());

    qint64 size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    void append(const char *data, qsizetype n);
    void append(const QByteArray &bytes) { append(bytes.constData(), bytes.size()); }
    // Inserts at pos (clamped to 0..size()); returns where the store holds it.
    Piece insert(qint64 pos, const QByteArray &bytes);
    // Removes n characters from pos (clamped) and returns them as pieces.
    Pieces take(qint64 pos, qint64 n);
    // Adds bytes to the store only, for putting into the text later.
    Piece keep(const QByteArray &bytes);
    // Puts pieces (taken earlier, or kept) at pos.
    void put(qint64 pos, const Pieces &pieces);
    // Empties the text and its store; pieces taken before are void.
    void clear();

    // The character at pos (0 <= pos < size()).
    char at(qint64 pos) const;
    QByteArray mid(qint64 pos, qint64 n) const;
    QByteArray toByteArray() const { return mid(0, m_size); }

    // Calls f(const char *data, qsizetype n) for consecutive pieces of [pos, pos+n).
    template <typename F>
    void forEachPiece(qint64 pos, qint64 n, F &&f) const
    {
        if (pos < 0 || n <= 0 || pos >= m_size)
            return;
        n = std::min(n, m_size - pos);
        size_t i = pieceOf(pos);
        qint64 offset = pos - m_starts[i];
        while (n > 0 && i < m_pieces.size()) {
            const qint64 take = std::min(n, m_pieces[i].length - offset);
            m_store->forEachPiece(m_pieces[i].at + offset, take, f);
            n -= take;
            offset = 0;
            ++i;
        }
    }

    // Whether [pos, pos+n) can be read without waiting for the disk; if not,
    // what is missing is fetched and the arrival call (setArrival()) comes
    // when it is in (ByteStore::tryLoad()).
    bool tryLoad(qint64 pos, qint64 n) const;
    void setArrival(std::function<void()> arrived) { m_store->setArrival(std::move(arrived)); }

    // Bytes held in memory for the text (store and piece list).
    qint64 memoryUsed() const;
    const ByteStore &store() const { return *m_store; }

private:
    size_t pieceOf(qint64 pos) const;
    // Makes a piece start at pos; returns its index (size of the list at the end).
    size_t splitAt(qint64 pos);
    void renumberFrom(size_t piece);

    std::unique_ptr<ByteStore> m_store;
    std::vector<Piece> m_pieces;
    std::vector<qint64> m_starts; // offset in the text of each piece's first character
    qint64 m_size = 0;
};

} // namespace corvanel
