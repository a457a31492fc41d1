// SPDX-License-Identifier: MIT
#include "platform/LineSettings.h"

#include "platform/MessageText.h"

#include <QStringList>
#include <algorithm>

namespace
{

std::optional<LineSettings> refuse(QString *reason, const QString &text)
{
    if (reason)
        *reason = text;
    return std::nullopt;
}

bool allDigits(const QString &field)
{
    return !field.isEmpty() && std::all_of(field.begin(), field.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// A whole number written with digits only (no sign, no blanks inside).
bool parseDigits(const QString &field, int *value)
{
    bool ok = false;
    *value = field.toInt(&ok);
    return ok && allDigits(field);
}

bool parseParity(const QString &field, LineSettings::Parity *parity)
{
    static const QString letters = QStringLiteral("NEOMS"); // in the order of Parity
    const qsizetype index = field.size() == 1 ? letters.indexOf(field.at(0).toUpper()) : -1;
    if (index < 0)
        return false;
    *parity = static_cast<LineSettings::Parity>(index);
    return true;
}

bool parseStopBits(const QString &field, LineSettings::StopBits *stopBits)
{
    if (field == QLatin1String("1"))
        *stopBits = LineSettings::StopBits::One;
    else if (field == QLatin1String("1.5"))
        *stopBits = LineSettings::StopBits::OneAndHalf;
    else if (field == QLatin1String("2"))
        *stopBits = LineSettings::StopBits::Two;
    else
        return false;
    return true;
}

} // namespace

std::optional<LineSettings> LineSettings::parse(const QString &text, QString *reason)
{
    QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return refuse(reason, QStringLiteral("settings \"%1\" must be speed,parity,data,stop")
                                  .arg(quotedValue(text)));
    for (QString &field : fields)
        field = field.trimmed();

    LineSettings settings;
    if (allDigits(fields[0]) && !parseDigits(fields[0], &settings.speed))
        return refuse(reason,
                      QStringLiteral("speed \"%1\" is too large").arg(quotedValue(fields[0])));
    if (!parseDigits(fields[0], &settings.speed) || settings.speed <= 0)
        return refuse(
            reason,
            QStringLiteral("speed \"%1\" is not a positive number").arg(quotedValue(fields[0])));
    if (!parseParity(fields[1], &settings.parity))
        return refuse(
            reason,
            QStringLiteral("parity \"%1\" is not N, E, O, M or S").arg(quotedValue(fields[1])));
    if (!parseDigits(fields[2], &settings.dataBits) || settings.dataBits < 5 ||
        settings.dataBits > 8)
        return refuse(
            reason, QStringLiteral("data bits \"%1\" must be 5 to 8").arg(quotedValue(fields[2])));
    if (!parseStopBits(fields[3], &settings.stopBits))
        return refuse(
            reason,
            QStringLiteral("stop bits \"%1\" must be 1, 1.5 or 2").arg(quotedValue(fields[3])));
    return settings;
}
