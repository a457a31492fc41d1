// SPDX-License-Identifier: MIT
#pragma once

#include "protocol/ControlCodes.h"
#include "registers/SimMode.h"

#include <QString>
#include <optional>

// The operator's choices as programs name them: one table of the names and limits that the
// command line and the control socket share (and through them the Python client), so that each
// rule exists once.
//
// A mode is taken in its command-line spelling in any case ("rackERR", "RACKERR", "rackerr") or
// as the main window's caption ("ラックERR", its Latin letters in any case); answers name it in
// lower case ("rackerr"). A frame end likewise: "crlf", "cr", "time" in any case, or the
// window's caption ("CRLF", "CR", "Time（ｍｓ）").

QString modeName(SimMode mode);
std::optional<SimMode> modeNamed(const QString &name);
// "none, prgps, mnea, rack, rackerr or vehicle", and the command line's
// "NONE, prGPS, MNEA, rack, rackERR, vehicle".
QString modeNamesListed();
QString modeNamesOfCommandLine();

QString frameEndName(FrameEnd end);
// The frame end's caption in the main window.
QString frameEndCaption(FrameEnd end);
std::optional<FrameEnd> frameEndNamed(const QString &name);
// "crlf, cr or time".
QString frameEndNamesListed();

// A whole number of milliseconds a choice takes, lo to hi.
struct WholeRange {
    int lo;
    int hi;
    constexpr bool holds(double value) const { return value >= lo && value <= hi; }
};
// The limits of every number a choice or a control request takes, in ms or counts.
inline constexpr WholeRange QuietTimeRange{0, 32767};         // ends a frame under time
inline constexpr WholeRange HandshakePeriodRange{1, 3600000}; // the handshake's tick
inline constexpr WholeRange FaultCountRange{1, 1000000};      // replies a fault applies to
inline constexpr WholeRange FaultDelayRange{0, 600000};       // how late a delayed reply goes
inline constexpr WholeRange SplitPiecesRange{2, 1024};        // pieces of a split reply
inline constexpr WholeRange SplitGapRange{0, 600000};         // the pause between two pieces
inline constexpr WholeRange RepeatPeriodRange{10, 3600000};   // a repeated transmission's period
inline constexpr WholeRange RepeatCountRange{1, 1000000000};  // its count (none: until stopped)
inline constexpr WholeRange BreakRange{1, 10000};             // the length of a BREAK
inline constexpr int DefaultBreakMs = 250;

// A number as the command line writes it: digits only (blanks around them allowed) and within
// range; nothing otherwise.
std::optional<int> wholeNumberFrom(const QString &text, const WholeRange &range);

// A settings text as OPEN takes it: a blank text keeps the port's settings, any other must be
// "speed,parity,data bits,stop bits". Why OPEN would refuse it, or empty when it would not.
QString settingsRefusal(const QString &text);
