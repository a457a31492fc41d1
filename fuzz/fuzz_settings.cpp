// SPDX-License-Identifier: MIT
// Feeds arbitrary text (read as UTF-8) to the settings-string parser. Whatever it accepts has a
// positive speed and 5 to 8 data bits, and its plain rendering "speed,P,bits,stop" parses back
// to the same settings; whatever it refuses comes with a reason.
#include "platform/LineSettings.h"

#include <cstdint>
#include <cstdlib>

namespace
{

QString render(const LineSettings &s)
{
    static const char *const parities[] = {"N", "E", "O", "M", "S"};
    static const char *const stopBits[] = {"1", "1.5", "2"};
    return QStringLiteral("%1,%2,%3,%4")
        .arg(s.speed)
        .arg(QLatin1String(parities[int(s.parity)]))
        .arg(s.dataBits)
        .arg(QLatin1String(stopBits[int(s.stopBits)]));
}

bool same(const LineSettings &a, const LineSettings &b)
{
    return a.speed == b.speed && a.parity == b.parity && a.dataBits == b.dataBits &&
           a.stopBits == b.stopBits;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString reason;
    const std::optional<LineSettings> settings = LineSettings::parse(text, &reason);
    if (!settings) {
        if (reason.isEmpty())
            std::abort();
        return 0;
    }
    if (settings->speed <= 0 || settings->dataBits < 5 || settings->dataBits > 8)
        std::abort();
    const std::optional<LineSettings> again = LineSettings::parse(render(*settings));
    if (!again || !same(*settings, *again))
        std::abort();
    return 0;
}
