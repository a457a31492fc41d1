// SPDX-License-Identifier: MIT
#pragma once

#include "registers/RegisterMemory.h"

#include <QString>
#include <cstdlib>

// The fuzz targets' check that the register memory keeps the word format, ^-?\d{4,5}$ (ASCII
// digits), checked by hand: a regular expression per word would cost most of the run. The check
// is the harness's own, so it is left out of the coverage the fuzzer steers by (and its cost).
__attribute__((no_sanitize("coverage"))) inline bool inWordFormat(const QString &word)
{
    const qsizetype from = word.startsWith(u'-') ? 1 : 0;
    const qsizetype digits = word.size() - from;
    if (digits < 4 || digits > 5)
        return false;
    const QChar *chars = word.constData();
    for (qsizetype i = from; i < word.size(); ++i) {
        if (chars[i].unicode() < u'0' || chars[i].unicode() > u'9')
            return false;
    }
    return true;
}

__attribute__((no_sanitize("coverage"))) inline void requireWordFormat(const RegisterMemory &memory)
{
    for (int n = 0; n < RegisterMemory::Count; ++n) {
        if (!inWordFormat(memory.word(n)))
            std::abort();
    }
}
