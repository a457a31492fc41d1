#include "ui/TrafficLogStore.h"

#include <QIODevice>
#include <QVarLengthArray>
#include <algorithm>
#include <string>

namespace
{

// Case-insensitive containment in UTF-8 rows, folding every character as QString's
// case-insensitive comparison does, without turning each row into a QString.
class CaseFoldedNeedle
{
public:
    explicit CaseFoldedNeedle(QStringView text)
    {
        for (char32_t c : text.toUcs4())
            m_folded.push_back(QChar::toCaseFolded(c));
        // Only ASCII folds to ASCII, except the Kelvin sign (to k) and the long s (to s).
        m_asciiOnly = std::all_of(m_folded.begin(), m_folded.end(),
                                  [](char32_t c) { return c < 0x80 && c != U'k' && c != U's'; });
    }

    bool isIn(QByteArrayView row) const { return m_asciiOnly ? isInAscii(row) : isInFolded(row); }

private:
    static char32_t foldAscii(char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : uchar(c); }

    bool isInAscii(QByteArrayView row) const
    {
        const qsizetype n = qsizetype(m_folded.size());
        for (qsizetype at = 0; at + n <= row.size(); ++at) {
            qsizetype k = 0;
            while (k < n && foldAscii(row[at + k]) == m_folded[k])
                ++k;
            if (k == n)
                return true;
        }
        return false;
    }

    // Decodes the row (well-formed UTF-8: the store wrote it) into folded characters.
    bool isInFolded(QByteArrayView row) const
    {
        m_row.clear();
        for (qsizetype i = 0; i < row.size();) {
            const uchar lead = uchar(row[i]);
            const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
            char32_t c = length == 1 ? lead : lead & (0x7F >> length);
            for (int k = 1; k < length && i + k < row.size(); ++k)
                c = (c << 6) | (uchar(row[i + k]) & 0x3F);
            m_row.push_back(QChar::toCaseFolded(c));
            i += length;
        }
        return m_row.find(m_folded) != std::u32string::npos;
    }

    std::u32string m_folded;
    bool m_asciiOnly = true;
    mutable std::u32string m_row;
};

} // namespace

TrafficLogStore::TrafficLogStore(qint64 rowLimit)
    : m_limit(std::clamp(rowLimit, MinimumRowLimit, MaximumRowLimit))
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
    char *end = m_encoder.appendToBuffer(block.bytes.data() + used, text);
    block.bytes.resize(end - block.bytes.constData());
    block.ends.push_back(quint32(block.bytes.size()));
    ++m_end;
}

// Past the limit, the oldest rows leave in one batch of a tenth of the limit, so that the
// note about it comes seldom and there is room for it.
qint64 TrafficLogStore::trimToLimit()
{
    if (rowCount() <= m_limit)
        return 0;
    const qint64 dropped = rowCount() - (m_limit - std::max<qint64>(1, m_limit / 10));
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
    m_blockBase = m_first = m_end = 0;
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
