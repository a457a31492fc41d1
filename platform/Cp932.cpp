// SPDX-License-Identifier: MIT
#include "platform/Cp932.h"

#include "platform/Cp932Table.h"

#include <algorithm>

namespace Cp932
{

namespace
{

// The character of a lead byte and the byte after it; 0 when the pair is undefined (the byte
// after it is no trail byte, or the code page leaves the pair empty).
char16_t pairCharacter(unsigned char lead, unsigned char trail)
{
    if (!isTrailByte(trail))
        return 0;
    const int row = lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + (0x9F - 0x81 + 1);
    return Table::pairs[row][trail - Table::TrailFirst];
}

// Appends the text of bytes to text, as the code page's decoder reads them: a lead byte and its
// trail byte are one character; a lead byte whose pair is undefined shows as U+FFFD and the byte
// after it is read afresh (it may start a character of its own). With keepFinalLead, a lead byte
// that ends the bytes is not decoded: the count of bytes decoded is returned.
qsizetype decodeInto(QString &text, const QByteArray &bytes, bool keepFinalLead)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const unsigned char b = data[i];
        if (!isLeadByte(b)) {
            text += QChar(Table::singles[b]);
            ++i;
        } else if (i + 1 == size) {
            if (keepFinalLead)
                break;
            text += QChar(QChar::ReplacementCharacter);
            ++i;
        } else if (const char16_t ch = pairCharacter(b, data[i + 1])) {
            text += QChar(ch);
            i += 2;
        } else {
            text += QChar(QChar::ReplacementCharacter);
            ++i;
        }
    }
    return i;
}

} // namespace

QByteArray encode(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        // A character beyond the BMP (a surrogate pair) is one character the code page lacks.
        if (QChar::isHighSurrogate(ch) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            bytes += '?';
            ++i;
            continue;
        }
        const auto found =
            std::lower_bound(Table::encodings.begin(), Table::encodings.end(), ch,
                             [](const Table::Encoding &e, char16_t c) { return e.ch < c; });
        if (found == Table::encodings.end() || found->ch != ch) {
            bytes += '?';
        } else if (found->bytes > 0xFF) {
            bytes += char(found->bytes >> 8);
            bytes += char(found->bytes & 0xFF);
        } else {
            bytes += char(found->bytes);
        }
    }
    return bytes;
}

QString decode(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    decodeInto(text, bytes, false);
    return text;
}

QString StreamDecoder::decode(const QByteArray &piece, bool moreFollows)
{
    const QByteArray bytes = m_pendingLead + piece;
    QString text;
    text.reserve(bytes.size());
    const qsizetype decoded = decodeInto(text, bytes, moreFollows);
    m_pendingLead = bytes.mid(decoded);
    return text;
}

} // namespace Cp932
