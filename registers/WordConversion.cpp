// SPDX-License-Identifier: MIT
#include "registers/WordConversion.h"

#include <algorithm>

namespace
{

// Large enough to be out of every 16-bit range, small enough never to overflow an int.
constexpr int MagnitudeCap = 100000;

bool isDecimalDigits(QStringView text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// Value of a run of ASCII digits, capped so that any length of input is safe.
int cappedValue(QStringView digits)
{
    int value = 0;
    for (QChar c : digits)
        value = std::min(value * 10 + (c.unicode() - '0'), MagnitudeCap);
    return value;
}

// Rounds whole.fraction to a whole number, a half to the even neighbour.
int roundHalfToEven(int whole, QStringView fraction)
{
    if (fraction.isEmpty() || fraction.front() < QLatin1Char('5'))
        return whole;
    if (fraction.front() > QLatin1Char('5'))
        return whole + 1;
    const bool moreThanHalf =
        std::any_of(fraction.begin() + 1, fraction.end(), [](QChar c) { return c != u'0'; });
    return (moreThanHalf || whole % 2 != 0) ? whole + 1 : whole;
}

} // namespace

std::optional<qint16> convertBoxText(const QString &text, WordTextProblem *problem)
{
    const QString trimmed = text.trimmed();
    const QStringView number(trimmed);
    const bool negative = number.startsWith(u'-');
    const QStringView unsignedPart = number.mid(negative || number.startsWith(u'+') ? 1 : 0);
    const qsizetype point = unsignedPart.indexOf(u'.');
    const QStringView whole = point < 0 ? unsignedPart : unsignedPart.first(point);
    const QStringView fraction = point < 0 ? QStringView() : unsignedPart.sliced(point + 1);
    const auto refuse = [problem](WordTextProblem why) {
        if (problem)
            *problem = why;
        return std::nullopt;
    };
    if (whole.size() + fraction.size() == 0 || !isDecimalDigits(whole) ||
        !isDecimalDigits(fraction))
        return refuse(WordTextProblem::NotANumber);
    const int magnitude = roundHalfToEven(cappedValue(whole), fraction);
    const int value = negative ? -magnitude : magnitude;
    if (value < -32768 || value > 32767)
        return refuse(WordTextProblem::OutOfRange);
    return static_cast<qint16>(value);
}

std::optional<int> wordValue(const QString &word)
{
    const bool negative = word.startsWith(u'-');
    const QStringView digits = QStringView(word).mid(negative ? 1 : 0);
    if (digits.isEmpty() || !isDecimalDigits(digits))
        return std::nullopt;
    const int magnitude = cappedValue(digits);
    return negative ? -magnitude : magnitude;
}
