// SPDX-License-Identifier: MIT
#include "session/Choices.h"

#include "platform/LineSettings.h"
#include "session/ModeProfiles.h"

#include <QStringList>
#include <algorithm>
#include <array>

namespace
{

struct ModeNames {
    const char *name;        // as programs name it over the control socket
    const char *commandLine; // as the command line and the help spell it
};
// In the order of SimMode.
constexpr std::array<ModeNames, SimModeCount> Modes = {{{"none", "NONE"},
                                                        {"prgps", "prGPS"},
                                                        {"mnea", "MNEA"},
                                                        {"rack", "rack"},
                                                        {"rackerr", "rackERR"},
                                                        {"vehicle", "vehicle"}}};
struct FrameEndNames {
    const char *name;    // as programs and the command line name it
    const char *caption; // as the main window shows it (UTF-8)
};
// In the order of FrameEnd.
constexpr std::array<FrameEndNames, 3> FrameEnds = {
    {{"crlf", "CRLF"}, {"cr", "CR"}, {"time", "Time（ｍｓ）"}}};

bool sameName(const QString &given, const QString &name)
{
    return given.compare(name, Qt::CaseInsensitive) == 0;
}

QString listed(const QStringList &names, const QString &last)
{
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + last + names.last();
}

} // namespace

QString modeName(SimMode mode)
{
    return QLatin1String(Modes.at(size_t(mode)).name);
}

std::optional<SimMode> modeNamed(const QString &name)
{
    for (size_t i = 0; i < Modes.size(); ++i)
        if (sameName(name, QLatin1String(Modes[i].commandLine)) ||
            sameName(name, profileOf(SimMode(i)).caption))
            return SimMode(i);
    return std::nullopt;
}

QString modeNamesListed()
{
    QStringList names;
    for (const ModeNames &mode : Modes)
        names << QLatin1String(mode.name);
    return listed(names, QStringLiteral(" or "));
}

QString modeNamesOfCommandLine()
{
    QStringList names;
    for (const ModeNames &mode : Modes)
        names << QLatin1String(mode.commandLine);
    return names.join(QStringLiteral(", "));
}

QString frameEndName(FrameEnd end)
{
    return QLatin1String(FrameEnds.at(size_t(end)).name);
}

QString frameEndCaption(FrameEnd end)
{
    return QString::fromUtf8(FrameEnds.at(size_t(end)).caption);
}

std::optional<FrameEnd> frameEndNamed(const QString &name)
{
    for (size_t i = 0; i < FrameEnds.size(); ++i)
        if (sameName(name, QLatin1String(FrameEnds[i].name)) ||
            sameName(name, QString::fromUtf8(FrameEnds[i].caption)))
            return FrameEnd(i);
    return std::nullopt;
}

QString frameEndNamesListed()
{
    QStringList names;
    for (const FrameEndNames &end : FrameEnds)
        names << QLatin1String(end.name);
    return listed(names, QStringLiteral(" or "));
}

std::optional<int> wholeNumberFrom(const QString &text, const WholeRange &range)
{
    const QString digits = text.trimmed();
    const bool allDigits = !digits.isEmpty() && digits.size() <= 9 &&
                           std::all_of(digits.begin(), digits.end(), [](QChar c) {
                               return c >= QLatin1Char('0') && c <= QLatin1Char('9');
                           });
    if (!allDigits || !range.holds(digits.toInt()))
        return std::nullopt;
    return digits.toInt();
}

QString settingsRefusal(const QString &text)
{
    QString reason;
    if (!text.trimmed().isEmpty() && !LineSettings::parse(text, &reason))
        return reason;
    return {};
}
