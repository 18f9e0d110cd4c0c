// The settings string: whatever is accepted reads back the same after being
// written out again, and joining any values never fails.

#include "FuzzText.h"
#include "PortSettings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzzText(data, size);
    const std::optional<corvanel::LineSettings> s = corvanel::parseSettings(text);
    if (s) {
        FUZZ_CHECK(s->baudRate > 0);
        FUZZ_CHECK(s->dataBits >= 5 && s->dataBits <= 8);
        static const char parities[] = {'N', 'E', 'O', 'M', 'S'};
        static const char *stops[] = {"1", "1.5", "2"};
        const QString again = QStringLiteral("%1,%2,%3,%4")
                                  .arg(s->baudRate)
                                  .arg(QLatin1Char(parities[static_cast<int>(s->parity)]))
                                  .arg(s->dataBits)
                                  .arg(QLatin1String(stops[static_cast<int>(s->stopBits)]));
        const std::optional<corvanel::LineSettings> back = corvanel::parseSettings(again);
        FUZZ_CHECK(back && *back == *s);
    }
    // The window builds the string from list texts and numbers.
    const qsizetype third = text.size() / 3;
    const QString built
        = corvanel::settingsString(text.left(third), text.mid(third, third), corvanel::LooseValue(double(size)));
    FUZZ_CHECK(built.endsWith(QStringLiteral(",1")));
    return 0;
}
