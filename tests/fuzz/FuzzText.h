#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The fuzzer's bytes as the text a user could put in a box: UTF-16 code
// units, so every character from 0 to U+FFFF can appear.
inline QString fuzzText(const uint8_t *data, size_t size)
{
    QString s;
    s.reserve(static_cast<qsizetype>(size / 2));
    for (size_t i = 0; i + 1 < size; i += 2)
        s.append(QChar(static_cast<char16_t>(data[i] | (data[i + 1] << 8))));
    return s;
}

// Stops the run with a crash report when a property does not hold.
#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond))                                                                                                   \
            __builtin_trap();                                                                                          \
    } while (0)
