// The receive box's rows: after any mix of appends and edits, the rows laid
// out step by step are the rows a fresh layout of the same text gives.
//
// Input: a width byte, then operations of four bytes: kind, position, length,
// and a character to repeat (CR and LF and blanks come up often).

#include "FuzzText.h"
#include "PieceText.h"
#include "RowLayout.h"

namespace {

bool sameRows(const corvanel::RowLayout &a, const corvanel::RowLayout &b)
{
    if (a.rowCount() != b.rowCount())
        return false;
    for (qint64 r = 0; r < a.rowCount(); ++r)
        if (a.rowStart(r) != b.rowStart(r) || a.rowEnd(r) != b.rowEnd(r))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    corvanel::RowLayout::Advances advances;
    for (int c = 0; c < 256; ++c)
        advances[static_cast<size_t>(c)] = 64 * (1 + c % 3); // 1 to 3 pixels
    const qint64 width = 64 * (1 + data[0] % 24);
    corvanel::PieceText text;
    corvanel::RowLayout steps;
    steps.layout(text, advances, width);
    static const char alphabet[] = "ab \r\n\r\nxyz.";
    for (size_t i = 1; i + 3 < size; i += 4) {
        const char c = alphabet[data[i + 3] % (sizeof alphabet - 1)];
        const QByteArray bytes(1 + data[i + 2] % 7, c);
        const qint64 pos = text.size() == 0 ? 0 : data[i + 1] % (text.size() + 1);
        switch (data[i] % 3) {
        case 0:
            text.append(bytes);
            steps.appended(text);
            break;
        case 1:
            text.insert(pos, bytes);
            steps.edited(text, pos, 0, bytes.size());
            break;
        default: {
            const qint64 n = std::min<qint64>(data[i + 2] % 9, text.size() - pos);
            text.take(pos, n);
            steps.edited(text, pos, n, 0);
            break;
        }
        }
        corvanel::RowLayout fresh;
        fresh.layout(text, advances, width);
        FUZZ_CHECK(sameRows(steps, fresh));
    }
    return 0;
}
