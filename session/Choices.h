// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "registers/SimMode.h"

#include <QString>
#include <optional>

// The operator's choices as programs name them: one table of the names and limits that the
// command line and the control socket share, so that each rule exists once.
//
// A mode's program name is lower case ("rackerr"); the command line also takes its own
// spelling in any case ("rackERR") and the main window's caption ("ラックERR"). Frame ends are
// "crlf", "cr" and "time", on the command line in any case.

QString modeName(SimMode mode);
std::optional<SimMode> modeNamed(const QString &name);
std::optional<SimMode> modeFromCommandLine(const QString &name);
// "none, prgps, mnea, rack, rackerr or vehicle", and the command line's
// "NONE, prGPS, MNEA, rack, rackERR, vehicle".
QString modeNamesListed();
QString modeNamesOfCommandLine();

QString frameEndName(FrameEnd end);
std::optional<FrameEnd> frameEndNamed(const QString &name);
std::optional<FrameEnd> frameEndFromCommandLine(const QString &name);
// "crlf, cr or time".
QString frameEndNamesListed();

// A whole number of milliseconds a choice takes, lo to hi.
struct WholeRange {
    int lo;
    int hi;
    constexpr bool holds(double value) const { return value >= lo && value <= hi; }
};
// The quiet time that ends a frame under the time frame end, and the handshake's tick.
inline constexpr WholeRange QuietTimeRange{0, 32767};
inline constexpr WholeRange HandshakePeriodRange{1, 3600000};

// A number as the command line writes it: digits only (blanks around them allowed) and within
// range; nothing otherwise.
std::optional<int> wholeNumberFrom(const QString &text, const WholeRange &range);

// A settings text as OPEN takes it: a blank text keeps the port's settings, any other must be
// "speed,parity,data bits,stop bits". Why OPEN would refuse it, or empty when it would not.
QString settingsRefusal(const QString &text);
