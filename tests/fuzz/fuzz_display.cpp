// The receive display: text shows the bytes unchanged; hex and decimal show
// every byte as a space and its value, which read back to the same bytes,
// whether formatted afresh or into a buffer kept from earlier reads.

#include "FuzzText.h"
#include "DisplayFormat.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    FUZZ_CHECK(*corvanel::formatReceived(corvanel::TextMode, bytes) == bytes);
    for (qint16 mode : {corvanel::HexMode, corvanel::DecimalMode}) {
        const QByteArray shown = *corvanel::formatReceived(mode, bytes);
        // The receive box's way: one buffer reused from read to read.
        static QByteArray scratch;
        FUZZ_CHECK(corvanel::formatReceived(mode, bytes, scratch) == shown);
        if (bytes.isEmpty()) {
            FUZZ_CHECK(shown.isEmpty());
            continue;
        }
        FUZZ_CHECK(shown.startsWith(' '));
        const QList<QByteArray> values = shown.mid(1).split(' ');
        FUZZ_CHECK(values.size() == bytes.size());
        for (qsizetype i = 0; i < values.size(); ++i) {
            bool ok = false;
            const int v = values.at(i).toInt(&ok, mode == corvanel::HexMode ? 16 : 10);
            FUZZ_CHECK(ok && v == static_cast<unsigned char>(bytes.at(i)));
            FUZZ_CHECK(values.at(i) == values.at(i).toUpper());
            FUZZ_CHECK(values.at(i).size() == 1 || values.at(i).at(0) != '0');
        }
    }
    FUZZ_CHECK(!corvanel::formatReceived(3, bytes));
    return 0;
}
