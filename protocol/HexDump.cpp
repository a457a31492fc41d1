// SPDX-License-Identifier: MIT
#include "protocol/HexDump.h"

QString hexDump(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString dump;
    dump.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        dump += QLatin1Char(digits[b >> 4]);
        dump += QLatin1Char(digits[b & 0x0F]);
        dump += QLatin1Char(' ');
    }
    return dump;
}
