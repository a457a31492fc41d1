#pragma once

#include <QByteArray>
#include <QString>

// Code page 932 (Shift-JIS): the code page of the character codes on the line. Operator text
// is encoded with it when sent; received bytes are decoded with it only to show them.
namespace Cp932
{

// Operator text to line bytes. A character the code page lacks becomes '?'.
QByteArray encode(const QString &text);
// Line bytes to display text. Never drops a byte: one that does not decode shows as U+001A.
QString decode(const QByteArray &bytes);
// True for a byte that starts a double-byte character (81-9F, E0-FC).
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

} // namespace Cp932
