// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// A value the user gave, as a message quotes it: whole up to 60 characters, else its first 60
// and "…", so that a huge value does not become a huge message.
inline QString quotedValue(const QString &value)
{
    constexpr qsizetype Longest = 60;
    return value.size() <= Longest ? value : value.left(Longest) + QStringLiteral("…");
}
