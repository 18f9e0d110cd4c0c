// Decoding parity marks: the result does not depend on how the stream was
// split into reads, and never grows.

#include "FuzzText.h"
#include "ParityMark.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the read sizes; the rest is the stream.
    const int step = data[0] % 7 + 1;
    const QByteArray stream(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    corvanel::ParityMarkDecoder whole;
    const QByteArray once = whole.decode(stream);
    FUZZ_CHECK(once.size() <= stream.size());
    corvanel::ParityMarkDecoder pieces;
    QByteArray split;
    for (qsizetype at = 0; at < stream.size(); at += step)
        split += pieces.decode(stream.mid(at, step));
    FUZZ_CHECK(split == once);
    // Without any 0xFF the stream passes unchanged.
    if (!stream.contains('\xFF'))
        FUZZ_CHECK(once == stream);
    return 0;
}
