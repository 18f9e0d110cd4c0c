#include "DisplayFormat.h"

#include <array>
#include <cstring>
#include <string>

namespace corvanel {
namespace {

// " 0", " A", " FF", " 255": one entry per byte, built once. Each entry is
// padded to four bytes so that it is copied whole; only its length counts.
struct Entry
{
    char text[4];
    int length;
};
using Table = std::array<Entry, 256>;

Table makeTable(int base)
{
    static const char digits[] = "0123456789ABCDEF";
    Table t {};
    for (int v = 0; v < 256; ++v) {
        std::string s;
        int x = v;
        do {
            s.insert(s.begin(), digits[x % base]);
            x /= base;
        } while (x > 0);
        s.insert(s.begin(), ' ');
        Entry &e = t[static_cast<size_t>(v)];
        std::memcpy(e.text, s.data(), s.size());
        e.length = static_cast<int>(s.size());
    }
    return t;
}

void formatEach(const QByteArray &bytes, const Table &table, QByteArray &out)
{
    // A megabyte a second arrives in hex at line speeds: write straight into
    // a buffer that holds the longest result, then trim it. The buffer keeps
    // its memory from one read to the next.
    out.resize(bytes.size() * 4);
    char *to = out.data();
    for (char c : bytes) {
        const Entry &e = table[static_cast<unsigned char>(c)];
        std::memcpy(to, e.text, 4);
        to += e.length;
    }
    out.truncate(to - out.constData());
}

} // namespace

bool isDisplayMode(qint16 mode)
{
    return mode == TextMode || mode == HexMode || mode == DecimalMode;
}

const QByteArray &formatReceived(qint16 mode, const QByteArray &bytes, QByteArray &scratch)
{
    static const Table hex = makeTable(16);
    static const Table dec = makeTable(10);
    if (mode == TextMode || !isDisplayMode(mode))
        return bytes;
    formatEach(bytes, mode == HexMode ? hex : dec, scratch);
    return scratch;
}

std::optional<QByteArray> formatReceived(qint16 mode, const QByteArray &bytes)
{
    if (!isDisplayMode(mode))
        return std::nullopt;
    QByteArray out;
    return formatReceived(mode, bytes, out);
}

} // namespace corvanel
