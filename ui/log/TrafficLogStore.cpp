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
      m_byteLimit(std::max(byteLimit, MinimumByteLimit)),
      // Small beside the limit, so that the whole blocks that leave at the byte limit are
      // little more than the tenth that has to.
      m_blockBytes(qsizetype(std::min<qint64>(m_byteLimit / 32, MaximumBlockBytes)))
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

qint64 TrafficLogStore::Block::allocated() const
{
    return qint64(sizeof(Block)) + bytes.capacity() + qint64(starts.capacity() * sizeof(quint32));
}

QByteArrayView TrafficLogStore::Block::row(qint64 serial) const
{
    const size_t row = size_t(serial - firstSerial);
    const qsizetype begin = starts[row];
    const qsizetype end = row + 1 < starts.size() ? qsizetype(starts[row + 1]) : bytes.size();
    return {bytes.constData() + begin, end - begin};
}

void TrafficLogStore::appendRow(QStringView text)
{
    const qsizetype room = m_encoder.requiredSpace(text.size());
    Block &block = blockWithRoomFor(room);
    const qint64 allocated = block.allocated();
    const qsizetype used = block.bytes.size();
    block.bytes.resize(used + room); // within the capacity reserved
    char *begin = block.bytes.data() + used;
    block.bytes.resize(used + (m_encoder.appendToBuffer(begin, text) - begin));
    block.starts.push_back(quint32(used));
    m_allocated += block.allocated() - allocated; // an empty block's first empty row allocates
    if (room > m_blockBytes)
        fillBlock(block); // a row of its own
    ++m_end;
}

// The newest block while it has room for the row, else a new one.
TrafficLogStore::Block &TrafficLogStore::blockWithRoomFor(qsizetype room)
{
    if (!m_blocks.empty() && !m_blocks.back().full) {
        Block &newest = m_blocks.back();
        if (newest.rows() < RowsPerBlock && newest.bytes.size() + room <= m_blockBytes) {
            reserveRoom(newest, room);
            return newest;
        }
        fillBlock(newest);
    }
    Block &block = m_blocks.emplace_back();
    block.firstSerial = m_end;
    block.starts.reserve(room > m_blockBytes ? 1 : RowsPerBlock);
    m_allocated += block.allocated();
    reserveRoom(block, room);
    return block;
}

// Grows the block's text allocation so that room more bytes fit, doubling it up to the block
// size (a row of its own gets just its room).
void TrafficLogStore::reserveRoom(Block &block, qsizetype room)
{
    const qsizetype needed = block.bytes.size() + room;
    if (needed <= block.bytes.capacity())
        return;
    const qsizetype doubled =
        std::min(std::max(2 * block.bytes.capacity(), FirstBlockCapacity), m_blockBytes);
    m_allocated -= block.allocated();
    block.bytes.reserve(std::max(needed, doubled));
    m_allocated += block.allocated();
}

// A full block takes no more rows, and gives back the room it did not fill.
void TrafficLogStore::fillBlock(Block &block)
{
    m_allocated -= block.allocated();
    block.full = true;
    block.bytes.squeeze();
    block.starts.shrink_to_fit();
    m_allocated += block.allocated();
}

// Past a limit, the oldest rows leave in one batch: down to nine tenths of the row limit and
// of the byte limit, so that the note about it comes seldom and there is room for it. Memory
// goes back a block at a time, so the byte limit takes whole blocks, oldest first.
qint64 TrafficLogStore::trimToLimit()
{
    if (rowCount() <= m_limit && m_allocated <= m_byteLimit)
        return 0;
    const qint64 rowsKept = m_limit - std::max<qint64>(1, m_limit / 10);
    const qint64 bytesKept = m_byteLimit - m_byteLimit / 10;
    qint64 first = std::max(m_first, m_end - rowsKept);
    auto kept = m_blocks.begin();
    for (; kept != m_blocks.end() && (m_allocated > bytesKept || kept->endSerial() <= first);
         ++kept) {
        m_allocated -= kept->allocated();
        first = std::max(first, kept->endSerial());
    }
    m_blocks.erase(m_blocks.begin(), kept);
    const qint64 dropped = first - m_first;
    m_first = first;
    return dropped;
}

qint64 TrafficLogStore::setRowLimit(qint64 limit)
{
    m_limit = std::clamp(limit, MinimumRowLimit, MaximumRowLimit);
    return trimToLimit();
}

void TrafficLogStore::clear()
{
    std::vector<Block>().swap(m_blocks);
    m_first = m_end = m_allocated = 0;
}

size_t TrafficLogStore::blockIndexOf(qint64 serial) const
{
    const auto after =
        std::upper_bound(m_blocks.begin(), m_blocks.end(), serial,
                         [](qint64 s, const Block &block) { return s < block.firstSerial; });
    return size_t(after - m_blocks.begin()) - 1;
}

// The block holding serial, walking from block `near`: rows visited in turn find their block in
// a step or none, without a search.
size_t TrafficLogStore::blockNear(size_t near, qint64 serial) const
{
    while (serial < m_blocks[near].firstSerial)
        --near;
    while (serial >= m_blocks[near].endSerial())
        ++near;
    return near;
}

QByteArrayView TrafficLogStore::rowUtf8(qint64 index) const
{
    const qint64 serial = serialOf(index);
    return m_blocks[blockIndexOf(serial)].row(serial);
}

qint64 TrafficLogStore::find(QStringView text, qint64 from, bool backward) const
{
    const qint64 count = rowCount();
    if (count == 0 || text.isEmpty())
        return -1;
    const CaseFoldedNeedle needle(text);
    qint64 index = ((from % count) + count) % count;
    size_t block = blockIndexOf(serialOf(index));
    for (qint64 step = 0; step < count; ++step) {
        const qint64 serial = serialOf(index);
        block = blockNear(block, serial);
        if (needle.isIn(m_blocks[block].row(serial)))
            return index;
        index =
            backward ? (index == 0 ? count - 1 : index - 1) : (index + 1 == count ? 0 : index + 1);
    }
    return -1;
}

template <typename Visit>
void TrafficLogStore::forEachRowNewestFirst(qint64 first, qint64 last, Visit visit) const
{
    if (first > last)
        return;
    size_t block = blockIndexOf(serialOf(first));
    for (qint64 serial = serialOf(first); serial >= serialOf(last); --serial) {
        block = blockNear(block, serial);
        visit(m_blocks[block].row(serial));
    }
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
