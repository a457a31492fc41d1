// SPDX-License-Identifier: MIT
#pragma once

#include "registers/SimMode.h"
#include "registers/WordConversion.h"

#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// A list of texts that could not be stored as words: the first one that failed, and why.
struct WordsRefused {
    int index; // the register whose text failed
    WordTextProblem problem;
    // "D0012: 数値に変換できません" or "D0012: -32768〜32767 の範囲外です".
    QString message() const;
};

// The simulated controller's 128 data registers, D0 to D127. Each word is text in the word
// format: a 16-bit signed value in decimal, zero-padded to at least four digits, minus sign in
// front (5 -> "0005", -5 -> "-0005", 20000 -> "20000").
class RegisterMemory
{
public:
    static constexpr int Count = 128;

    // Word n as stored; n must be 0 to 127.
    const QString &word(int n) const { return m_words.at(static_cast<size_t>(n)); }
    // Stores text in word n; n must be 0 to 127. The caller keeps to the word format.
    void setWord(int n, const QString &text) { m_words.at(static_cast<size_t>(n)) = text; }
    // Stores texts in the words from `from` on, each read as the data window's register button
    // reads a box and kept in the word format: all of them, or none when any one cannot be
    // read (the data window, a host's word write and a control program all store this way).
    // The words must lie within D0-D127; the callers check that first.
    std::optional<WordsRefused> storeTexts(int from, const QStringList &texts);

    // All words "0000", then D32 "0002", D33 "0001", D43 "0002".
    void applyRackPreset();
    // All words "0000", then D30 "0002", D31 "0001", D102 "0004", D103-D105 "0006".
    void applyVehiclePreset();
    // The preset of a mode: the rack's for Rack, the vehicle's for Vehicle; other modes have
    // none and leave the memory as it is.
    void applyPresetOf(SimMode mode);

private:
    std::array<QString, Count> m_words;
};

// A 16-bit value in the word format.
QString formatWord(qint16 value);

// The name of register n as the data window shows it: "D0000" ... "D0127".
QString registerName(int n);
