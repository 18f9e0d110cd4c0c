// The hex send over a whole send box: one byte per position 1, 4, 7, ...
// when the third character is a space, nothing otherwise, and each byte the
// value of its own pair.

#include "FuzzText.h"
#include "SendRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The send box as the wire sees it: line breaks become CR LF first.
    const QString box = corvanel::sendBoxWireText(fuzzText(data, size));
    QByteArray bytes;
    const bool formatOk = corvanel::runHexSend([&] { return box; },
                                               [&](int v) {
                                                   bytes.append(static_cast<char>(v));
                                                   return true;
                                               });
    FUZZ_CHECK(formatOk == corvanel::hexFormatOk(box));
    if (!formatOk) {
        FUZZ_CHECK(bytes.isEmpty());
        return 0;
    }
    FUZZ_CHECK(bytes.size() == (box.size() + 2) / 3);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int v = corvanel::hexPairAt(box, 3 * i + 1);
        FUZZ_CHECK(v >= 0 && v <= 255);
        FUZZ_CHECK(static_cast<unsigned char>(bytes.at(i)) == v);
    }
    return 0;
}
