// SPDX-License-Identifier: MIT
#include "session/ModeProfiles.h"

#include <array>

namespace
{

// The number the modem dials in mode "prGPS" until the operator types another.
const QString PrGpsDialNumber = QStringLiteral("09012345678");
const QString EvenParity = QStringLiteral("9600,E,8,1");

} // namespace

const ModeProfile &profileOf(SimMode mode)
{
    static const std::array<ModeProfile, SimModeCount> profiles = {{
        {QStringLiteral("NONE"), false, {}, {}, FrameEnd::Time, false},
        {QStringLiteral("prGPS"), true, QStringLiteral("9600,N,8,1"), PrGpsDialNumber,
         FrameEnd::CrLf, true},
        {QStringLiteral("MNEA"), true, QStringLiteral("4800,N,8,1"), {}, FrameEnd::CrLf, false},
        {QStringLiteral("ラック"), true, EvenParity, {}, FrameEnd::Time, false},
        {QStringLiteral("ラックERR"), true, EvenParity, {}, FrameEnd::Time, false},
        {QStringLiteral("無人車"), true, EvenParity, {}, FrameEnd::Time, false},
    }};
    return profiles.at(static_cast<size_t>(mode));
}
