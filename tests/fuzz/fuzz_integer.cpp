// The integer reading of the decimal send and the pause field, in two
// locales: blanks around a number never change it, and a result is the
// nearest integer to some number the text can mean.

#include "FuzzText.h"
#include "SendRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::Italian, QLocale::Italy)}) {
        const std::optional<qint32> v = corvanel::readInteger(text, locale);
        const std::optional<qint32> padded
            = corvanel::readInteger(QStringLiteral("  ") + text + QStringLiteral("\t "), locale);
        FUZZ_CHECK(v == padded || text.isEmpty() || text.front().isSpace() || text.back().isSpace());
        if (v) {
            const std::optional<QString> byte = corvanel::characterOfCode(*v);
            FUZZ_CHECK(byte.has_value() == (*v >= 0 && *v <= 255));
        }
    }
    return 0;
}
