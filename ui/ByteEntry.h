// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Bytes the operator types by their codes for "Send bytes…": pairs of hexadecimal digits, upper
// or lower case, blanks allowed between pairs ("05 30 30 57 52", "0530305752"). Plain logic: no
// widgets; the dialog shows it, and an entry read once can be sent again as it is.

// At most this many bytes in one entry.
constexpr qsizetype MaximumEntryBytes = 4096;

struct ByteEntry {
    QByteArray bytes;
    QString problem; // empty when the text reads; otherwise what is wrong, and where
    bool reads() const { return problem.isEmpty(); }
};

// Reads an entry. The first problem is named: a character that is not a hexadecimal digit (and
// its place), a group of digits between blanks that has an odd count, no bytes at all, or more
// than MaximumEntryBytes.
ByteEntry readByteEntry(QStringView text);

// The bytes as an entry is written back and remembered: upper-case pairs, one blank between.
QString byteEntryText(const QByteArray &bytes);

// The entries sent last, newest first, each once and written as byteEntryText() writes it; at
// most ten. Entries that do not read (a settings file edited by hand) are left out.
class SentBytesHistory
{
public:
    static constexpr int Size = 10;
    explicit SentBytesHistory(const QStringList &entries = {});

    const QStringList &entries() const { return m_entries; }
    // The bytes go to the front; the same bytes sent earlier leave their old place, and past
    // Size the oldest entry leaves.
    void remember(const QByteArray &bytes);

private:
    QStringList m_entries;
};
