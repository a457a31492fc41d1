// SPDX-License-Identifier: MIT
#include "ui/ByteEntry.h"

namespace
{

// A character as a problem names it: itself in quotes, or its code when it does not print.
QString named(QChar c)
{
    if (c.isPrint())
        return QStringLiteral("'%1'").arg(c);
    return QStringLiteral("U+%1").arg(int(c.unicode()), 4, 16, QLatin1Char('0')).toUpper();
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// A group of digits as a problem names it: whole when short, else its start.
QString named(QStringView group)
{
    constexpr qsizetype Shown = 12;
    return group.size() <= Shown ? group.toString()
                                 : group.first(Shown).toString() + QStringLiteral("…");
}

} // namespace

ByteEntry readByteEntry(QStringView text)
{
    ByteEntry entry;
    qsizetype groupStart = -1; // where the digits since the last blank began
    const auto endGroup = [&](qsizetype end) {
        if (groupStart >= 0 && (end - groupStart) % 2 != 0)
            entry.problem = QStringLiteral("%1 has an odd number of digits: write each byte as "
                                           "two (05, not 5)")
                                .arg(named(text.sliced(groupStart, end - groupStart)));
        groupStart = -1;
    };
    QByteArray digits;
    for (qsizetype i = 0; i < text.size() && entry.reads(); ++i) {
        const QChar c = text[i];
        if (c.isSpace()) {
            endGroup(i);
        } else if (isHexDigit(c)) {
            if (groupStart < 0)
                groupStart = i;
            digits += char(c.unicode());
        } else {
            entry.problem = QStringLiteral("%1 (character %2) is not a hexadecimal digit")
                                .arg(named(c))
                                .arg(i + 1);
        }
    }
    if (entry.reads())
        endGroup(text.size());
    if (!entry.reads())
        return entry;
    if (digits.isEmpty())
        entry.problem = QStringLiteral("no bytes: type each byte as two hexadecimal digits, "
                                       "e.g. 05 30 30 57 52");
    else if (digits.size() / 2 > MaximumEntryBytes)
        entry.problem = QStringLiteral("%1 bytes: at most %2 at a time")
                            .arg(digits.size() / 2)
                            .arg(MaximumEntryBytes);
    else
        entry.bytes = QByteArray::fromHex(digits);
    return entry;
}

QString byteEntryText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

SentBytesHistory::SentBytesHistory(const QStringList &entries)
{
    for (auto entry = entries.crbegin(); entry != entries.crend(); ++entry) {
        const ByteEntry read = readByteEntry(*entry);
        if (read.reads())
            remember(read.bytes);
    }
}

void SentBytesHistory::remember(const QByteArray &bytes)
{
    const QString text = byteEntryText(bytes);
    m_entries.removeAll(text);
    m_entries.prepend(text);
    while (m_entries.size() > Size)
        m_entries.removeLast();
}
