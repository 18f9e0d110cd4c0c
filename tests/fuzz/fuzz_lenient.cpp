// The lenient number reading: never fails, ignores blanks anywhere, and the
// 16-bit conversion after it either fits or says so.

#include "FuzzText.h"
#include "Conversions.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    const double v = corvanel::lenientValue(text);
    FUZZ_CHECK(!std::isnan(v));
    // Blanks, tabs and line feeds are dropped wherever they stand.
    QString spaced;
    for (QChar c : text)
        spaced += QStringLiteral(" \t") + c + QLatin1Char('\n');
    const double w = corvanel::lenientValue(spaced);
    FUZZ_CHECK(v == w || (std::isinf(v) && std::isinf(w)));
    if (const auto r = corvanel::toInt16(v))
        FUZZ_CHECK(std::fabs(*r - v) <= 0.5);
    return 0;
}
