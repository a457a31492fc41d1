// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Code page 932 (Shift-JIS) as Windows workstations have it: the code page of the character codes
// on the line. Operator text is encoded with it when sent; received bytes are decoded with it only
// to show them. Bytes 00-7F are ASCII both ways, 80 is U+0080, A0 is U+F8F0, FD-FF are
// U+F8F1-U+F8F3 and A1-DF the half-width katakana; the double-byte characters are those of the
// table in Cp932Table.cpp, generated from Python's cp932 codec.
namespace Cp932
{

// Operator text to line bytes. A character the code page lacks (one beyond the BMP included)
// becomes one '?'. Where several pairs decode to one character, the table's choice is sent; six
// characters no pair decodes to are sent as a look-alike's pair (U+301C as 81 60, which reads
// back as U+FF5E), as the table has them.
QByteArray encode(const QString &text);
// Line bytes to display text. Never drops a byte: a lead byte whose pair the code page leaves
// undefined (or that ends the bytes) shows as U+FFFD, and the byte after it is read on its own.
QString decode(const QByteArray &bytes);
// True for a byte that starts a double-byte character (81-9F, E0-FC).
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
// True for a byte that can end a double-byte character (40-7E, 80-FC).
constexpr bool isTrailByte(unsigned char b)
{
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Decodes one direction of the line piece by piece (frame by frame), so that a double-byte
// character split between two pieces shows whole in the second. A lead byte that cannot get its
// trail byte (the next byte is none, or the piece is final) shows as U+FFFD: never dropped.
class StreamDecoder
{
public:
    // The text of the next piece. An unfinished lead byte at its end waits for the next piece
    // when more of the stream may follow it directly, and shows as U+FFFD otherwise.
    QString decode(const QByteArray &piece, bool moreFollows = true);

private:
    QByteArray m_pendingLead;
};

} // namespace Cp932
