// SPDX-License-Identifier: MIT
#pragma once

// What the tests of the windows and of the program's runs share: a log row without its stamp.

#include <QRegularExpression>
#include <QString>

// A log row without the "[HH:mm:ss]" or "[HH:mm:ss.zzz]" stamp it starts with, if any.
inline QString withoutStamp(QString row)
{
    static const QRegularExpression stamp(
        QStringLiteral("^\\[\\d\\d:\\d\\d:\\d\\d(\\.\\d\\d\\d)?\\]"));
    return row.remove(stamp);
}
