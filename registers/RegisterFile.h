// SPDX-License-Identifier: MIT
#pragma once

#include "registers/RegisterMemory.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The register file: one "D0033 0001" line per register, the register's name, a space and its
// word. A run writes it at its end (--register-dump) and reads it at its start (--registers), so
// that a dump can be replayed.

// All 128 registers, D0000 first, each line ended by a line feed.
QByteArray registerFileText(const RegisterMemory &memory);

// The words a register file sets: any of the registers, in the file's order. Blank lines are
// skipped; a register may appear once. A word is read as the data window's register button
// reads a box and kept in the word format.
struct RegisterFileContents {
    QList<QPair<int, QString>> words;
    QString problem; // empty, or "line N: what is wrong"
};
RegisterFileContents readRegisterFile(const QByteArray &text);
