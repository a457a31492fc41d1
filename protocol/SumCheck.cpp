// SPDX-License-Identifier: MIT
#include "protocol/SumCheck.h"

#include "platform/Cp932.h"

QByteArray sumCheck(const QByteArray &text)
{
    unsigned sum = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (Cp932::isLeadByte(b) && i + 1 < text.size())
            ++i; // a double-byte character counts by its trail byte only
        sum += static_cast<unsigned char>(text[i]);
    }
    return QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0');
}
