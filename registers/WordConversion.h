// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// Reading register texts as numbers: the data window's register button turns each box's text
// into a 16-bit value, the computer link's word write reads each data field the same way, and
// the handshake automaton reads some words as decimal numbers.

// Why a text cannot be a word: it is no number, or a number outside the 16-bit range.
enum class WordTextProblem { NotANumber, OutOfRange };

// The value of a box text or a word-write data field, or nothing when it cannot be converted
// (*problem, when given, says why). Accepted: a plain decimal number with blanks around it (any
// white space, the ideographic space included), an optional leading sign and an optional
// fractional part, rounded to the nearest whole number with a half going to the even neighbour;
// the result must lie in -32768..32767. Refused: empty text, exponents, thousands separators,
// blanks inside, full-width digits (not a number), and anything out of range.
std::optional<qint16> convertBoxText(const QString &text, WordTextProblem *problem = nullptr);

// The numeric value of a stored word: an optional minus sign and decimal digits, leading
// zeros ignored ("0011" is 11, "-0001" is -1). Nothing for any other text. Magnitudes past
// 100000 read as 100000, which no word in the word format reaches.
std::optional<int> wordValue(const QString &word);
