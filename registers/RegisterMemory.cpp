// SPDX-License-Identifier: MIT
#include "registers/RegisterMemory.h"

#include <algorithm>

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

std::optional<WordsRefused> RegisterMemory::storeTexts(int from, const QStringList &texts)
{
    // The callers check the range first; beyond D127 nothing is ever stored.
    if (from < 0 || from + texts.size() > Count)
        return WordsRefused{std::clamp(from, 0, Count - 1), WordTextProblem::OutOfRange};
    std::array<qint16, Count> values{};
    for (int i = 0; i < texts.size(); ++i) {
        WordTextProblem problem = WordTextProblem::NotANumber;
        const std::optional<qint16> value = convertBoxText(texts[i], &problem);
        if (!value)
            return WordsRefused{from + i, problem};
        values[size_t(i)] = *value;
    }
    for (int i = 0; i < texts.size(); ++i)
        setWord(from + i, formatWord(values[size_t(i)]));
    return std::nullopt;
}

QString WordsRefused::message() const
{
    return registerName(index) + (problem == WordTextProblem::OutOfRange
                                      ? QStringLiteral(": -32768〜32767 の範囲外です")
                                      : QStringLiteral(": 数値に変換できません"));
}

QString registerName(int n)
{
    return QStringLiteral("D%1").arg(n, 4, 10, QLatin1Char('0'));
}

QString formatWord(qint16 value)
{
    const int v = value;
    const QString digits = QString::number(v < 0 ? -v : v).rightJustified(4, QLatin1Char('0'));
    return v < 0 ? QLatin1Char('-') + digits : digits;
}
