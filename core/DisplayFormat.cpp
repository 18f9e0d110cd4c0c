#include "DisplayFormat.h"

#include <array>
#include <string>

namespace corvanel {
namespace {

// " 0", " A", " FF": one entry per byte, built once.
using Table = std::array<std::string, 256>;

Table makeTable(int base)
{
    static const char digits[] = "0123456789ABCDEF";
    Table t;
    for (int v = 0; v < 256; ++v) {
        std::string s;
        int x = v;
        do {
            s.insert(s.begin(), digits[x % base]);
            x /= base;
        } while (x > 0);
        t[static_cast<size_t>(v)] = ' ' + s;
    }
    return t;
}

QByteArray formatEach(const QByteArray &bytes, const Table &table)
{
    QByteArray out;
    out.reserve(bytes.size() * 4);
    for (char c : bytes) {
        const std::string &s = table[static_cast<unsigned char>(c)];
        out.append(s.data(), static_cast<qsizetype>(s.size()));
    }
    return out;
}

} // namespace

bool isDisplayMode(qint16 mode)
{
    return mode == TextMode || mode == HexMode || mode == DecimalMode;
}

std::optional<QByteArray> formatReceived(qint16 mode, const QByteArray &bytes)
{
    static const Table hex = makeTable(16);
    static const Table dec = makeTable(10);
    if (!isDisplayMode(mode))
        return std::nullopt;
    if (mode == TextMode)
        return bytes;
    return formatEach(bytes, mode == HexMode ? hex : dec);
}

} // namespace corvanel
