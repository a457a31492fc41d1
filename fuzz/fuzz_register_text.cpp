// SPDX-License-Identifier: MIT
// Feeds arbitrary box text (read as UTF-8) to the conversion that "登録" applies to every box.
// An accepted value lies in -32768..32767 and within one half of the number the text writes
// (so nothing wrapped round), its stored word is in the word format ^-?[0-9]{4,5}$, and the
// word reads back as the same value.
#include "registers/RegisterMemory.h"
#include "registers/WordConversion.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QRegularExpression wordFormat(QStringLiteral("^-?[0-9]{4,5}$"));
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<qint16> value = convertBoxText(text);
    if (!value)
        return 0;
    const int v = *value;
    if (v < -32768 || v > 32767)
        std::abort();
    bool isNumber = false;
    const double written = text.trimmed().toDouble(&isNumber);
    if (isNumber && std::abs(written - v) > 0.5 + 1e-9)
        std::abort();
    const QString word = formatWord(*value);
    if (!wordFormat.match(word).hasMatch())
        std::abort();
    if (wordValue(word) != v)
        std::abort();
    return 0;
}
