// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// The computer link's sum check: the low eight bits of the sum of the character codes of a
// text, as two upper-case hexadecimal digits. Characters are code page 932 characters: a
// double-byte character (lead byte 81-9F or E0-FC, then a trail byte) contributes its trail
// byte only; every other byte contributes itself. Kept modulo 256, so any length is fine.
QByteArray sumCheck(const QByteArray &text);
