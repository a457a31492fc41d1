// SPDX-License-Identifier: MIT
#include "ui/log/TrafficLogStore.h"

#include <QIODevice>
#include <QVarLengthArray>
#include <algorithm>
#include <string>
#include <string_view>

namespace
{

class CaseFoldedNeedle
{
public:
    explicit CaseFoldedNeedle(QStringView text)
    {
        for (char32_t c : text.toUcs4())
            m_folded.push_back(QChar::toCaseFolded(c));
        m_ascii =
            std::all_of(m_folded.begin(), m_folded.end(), [](char32_t c) { return c < 0x80; });
        if (m_ascii)
            m_asciiFolded.assign(m_folded.begin(), m_folded.end());
        // Only the Kelvin sign and the long s fold to ASCII (k and s).
        m_foldsFromBeyondAscii = m_ascii && m_folded.find_first_of(U"ks") != std::u32string::npos;
        const auto beyondAscii =
            std::find_if(m_folded.begin(), m_folded.end(), [](char32_t c) { return c >= 0x80; });
        if (beyondAscii != m_folded.end())
            m_anchors = charactersFoldingTo(*beyondAscii);
    }

    bool isIn(QByteArrayView bytes) const
    {
        const std::string_view row(bytes.data(), size_t(bytes.size()));
        if (m_ascii) {
            return isInAscii(row) ||
                   (m_foldsFromBeyondAscii &&
                    (row.find("\xE2\x84\xAA") != row.npos || row.find("\xC5\xBF") != row.npos) &&
                    isInFolded(row));
        }
        return std::any_of(m_anchors.begin(), m_anchors.end(),
                           [&](const std::string &a) { return row.find(a) != row.npos; }) &&
               isInFolded(row);
    }

private:
    // The UTF-8 of every character that folds to c (a few milliseconds: all are tried).
    static std::vector<std::string> charactersFoldingTo(char32_t c)
    {
        std::vector<std::string> found;
        for (char32_t u = 0x80; u <= 0x10FFFF; ++u) {
            if ((u < 0xD800 || u > 0xDFFF) && QChar::toCaseFolded(u) == c)
                found.push_back(QString::fromUcs4(&u, 1).toStdString());
        }
        return found;
    }

    bool isInAscii(std::string_view row) const
    {
        m_asciiRow.resize(row.size());
        std::transform(row.begin(), row.end(), m_asciiRow.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; });
        return m_asciiRow.find(m_asciiFolded) != std::string::npos;
    }

    // Decodes the row (well-formed UTF-8: the store wrote it) into folded characters.
    bool isInFolded(std::string_view row) const
    {
        m_row.clear();
        for (size_t i = 0; i < row.size();) {
            const uchar lead = uchar(row[i]);
            const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t c = length == 1 ? lead : lead & (0x7F >> length);
            for (size_t k = 1; k < size_t(length) && i + k < row.size(); ++k)
                c = (c << 6) | (uchar(row[i + k]) & 0x3F);
            m_row.push_back(QChar::toCaseFolded(c));
            i += size_t(length);
        }
        return m_row.find(m_folded) != std::u32string::npos;
    }

    std::u32string m_folded;
    std::string m_asciiFolded; // m_folded when it is all ASCII
    bool m_ascii = true, m_foldsFromBeyondAscii = false;
    std::vector<std::string> m_anchors; // characters one of which a row must hold
    mutable std::string m_asciiRow;
    mutable std::u32string m_row;
};

} // namespace

TrafficLogStore::TrafficLogStore(qint64 rowLimit, qint64 byteLimit)
    : m_limit(std::clamp(rowLimit, MinimumRowLimit, MaximumRowLimit)),
      m_byteLimit(std::max(byteLimit, MinimumByteLimit))
{
}

// The rows of one line go in last first: shown newest first, they read top to bottom.
TrafficLogStore::Added TrafficLogStore::addLine(QStringView line)
{
    QVarLengthArray<QStringView, 8> rows;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c != u'\r' && c != u'\n')
            continue;
        rows.append(line.sliced(start, i - start));
        if (c == u'\r' && i + 1 < line.size() && line[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    rows.append(line.sliced(start));
    for (auto row = rows.crbegin(); row != rows.crend(); ++row)
        appendRow(*row);
    return {rows.size(), trimToLimit()};
}

void TrafficLogStore::appendRow(QStringView text)
{
    if (m_blocks.empty() || qint64(m_blocks.back().ends.size()) == RowsPerBlock) {
        if (!m_blocks.empty())
            m_blocks.back().bytes.squeeze();
        m_blocks.emplace_back();
        m_blocks.back().bytes.reserve(64 * 1024);
        m_blocks.back().ends.reserve(RowsPerBlock);
    }
    Block &block = m_blocks.back();
    const qsizetype used = block.bytes.size();
    block.bytes.resize(used + m_encoder.requiredSpace(text.size()));
    char *begin = block.bytes.data() + used;
    const qsizetype written = m_encoder.appendToBuffer(begin, text) - begin;
    block.bytes.resize(used + written);
    block.ends.push_back(quint32(used + written));
    m_bytes += written;
    ++m_end;
}

// Past a limit, the oldest rows leave in one batch: down to nine tenths of the row limit and
// of the byte limit, so that the note about it comes seldom and there is room for it.
qint64 TrafficLogStore::trimToLimit()
{
    if (rowCount() <= m_limit && m_bytes <= m_byteLimit)
        return 0;
    const qint64 rowsKept = m_limit - std::max<qint64>(1, m_limit / 10);
    const qint64 bytesKept = m_byteLimit - m_byteLimit / 10;
    qint64 dropped = 0;
    for (qint64 oldest = rowCount() - 1; oldest >= 0; --oldest, ++dropped) {
        if (oldest < rowsKept && m_bytes <= bytesKept)
            break;
        m_bytes -= rowUtf8(oldest).size();
    }
    m_first += dropped;
    while (!m_blocks.empty() && m_blockBase + RowsPerBlock <= m_first) {
        m_blocks.pop_front();
        m_blockBase += RowsPerBlock;
    }
    return dropped;
}

qint64 TrafficLogStore::setRowLimit(qint64 limit)
{
    m_limit = std::clamp(limit, MinimumRowLimit, MaximumRowLimit);
    return trimToLimit();
}

void TrafficLogStore::clear()
{
    std::deque<Block>().swap(m_blocks);
    m_blockBase = m_first = m_end = m_bytes = 0;
}

QByteArrayView TrafficLogStore::rowUtf8(qint64 index) const
{
    const qint64 offset = serialOf(index) - m_blockBase;
    const Block &block = m_blocks[size_t(offset / RowsPerBlock)];
    const size_t row = size_t(offset % RowsPerBlock);
    const quint32 begin = row ? block.ends[row - 1] : 0;
    return {block.bytes.constData() + begin, qsizetype(block.ends[row] - begin)};
}

qint64 TrafficLogStore::find(QStringView text, qint64 from, bool backward) const
{
    const qint64 count = rowCount();
    if (count == 0 || text.isEmpty())
        return -1;
    const CaseFoldedNeedle needle(text);
    qint64 index = ((from % count) + count) % count;
    for (qint64 step = 0; step < count; ++step) {
        if (needle.isIn(rowUtf8(index)))
            return index;
        index =
            backward ? (index == 0 ? count - 1 : index - 1) : (index + 1 == count ? 0 : index + 1);
    }
    return -1;
}

template <typename Visit>
void TrafficLogStore::forEachRowNewestFirst(qint64 first, qint64 last, Visit visit) const
{
    for (qint64 index = first; index <= last; ++index)
        visit(rowUtf8(index));
}

qint64 TrafficLogStore::utf8Size(qint64 first, qint64 last) const
{
    qint64 size = 0;
    forEachRowNewestFirst(first, last, [&](QByteArrayView row) { size += row.size() + 1; });
    return size;
}

QByteArray TrafficLogStore::utf8Text(qint64 first, qint64 last) const
{
    QByteArray text;
    text.reserve(utf8Size(first, last));
    forEachRowNewestFirst(first, last, [&](QByteArrayView row) {
        text.append(row);
        text.append('\n');
    });
    return text;
}

bool TrafficLogStore::write(QIODevice &device) const
{
    constexpr qsizetype Chunk = 1 << 20;
    QByteArray buffer;
    buffer.reserve(Chunk + 4096);
    bool written = true;
    const auto flush = [&] {
        written = written && device.write(buffer) == buffer.size();
        buffer.resize(0); // keeps the capacity
    };
    forEachRowNewestFirst(0, rowCount() - 1, [&](QByteArrayView row) {
        buffer.append(row);
        buffer.append('\n');
        if (buffer.size() >= Chunk)
            flush();
    });
    flush();
    return written;
}
