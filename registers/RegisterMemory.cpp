// SPDX-License-Identifier: MIT
#include "registers/RegisterMemory.h"

void RegisterMemory::applyRackPreset()
{
    m_words.fill(QStringLiteral("0000"));
    setWord(32, QStringLiteral("0002"));
    setWord(33, QStringLiteral("0001"));
    setWord(43, QStringLiteral("0002"));
}

void RegisterMemory::applyVehiclePreset()
{
    m_words.fill(QStringLiteral("0000"));
    setWord(30, QStringLiteral("0002"));
    setWord(31, QStringLiteral("0001"));
    setWord(102, QStringLiteral("0004"));
    for (int n = 103; n <= 105; ++n)
        setWord(n, QStringLiteral("0006"));
}

void RegisterMemory::applyPresetOf(SimMode mode)
{
    if (mode == SimMode::Rack)
        applyRackPreset();
    else if (mode == SimMode::Vehicle)
        applyVehiclePreset();
}

QString formatWord(qint16 value)
{
    const int v = value;
    const QString digits = QString::number(v < 0 ? -v : v).rightJustified(4, QLatin1Char('0'));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}
