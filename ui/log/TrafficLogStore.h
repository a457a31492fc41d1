// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringEncoder>
#include <vector>

class QIODevice;

// The traffic log's rows, each kept once as UTF-8 in large blocks with one start offset per row
// (no object per row), so a log of millions of rows stays small. A logged line becomes one row,
// or several when it holds CR LF, CR or LF. Rows are indexed as the log shows them: index 0
// is the first row of the newest line, and the rows of one line follow each other in order.
// Past the row limit, or past the byte limit that bounds the memory the rows take whatever
// they hold, the oldest rows leave in one batch, and addLine() says how many left.
// Plain logic: no widgets, no clock.
class TrafficLogStore
{
public:
    static constexpr qint64 DefaultRowLimit = 10'000'000;
    static constexpr qint64 MinimumRowLimit = 10;
    static constexpr qint64 MaximumRowLimit = 1'000'000'000;
    static constexpr qint64 DefaultByteLimit = qint64(1) << 30;
    static constexpr qint64 MinimumByteLimit = 1024;

    explicit TrafficLogStore(qint64 rowLimit = DefaultRowLimit,
                             qint64 byteLimit = DefaultByteLimit);

    struct Added {
        qint64 rows = 0;    // rows the line became
        qint64 dropped = 0; // oldest rows that left because the log went past its limit
    };
    Added addLine(QStringView line);
    void clear();

    qint64 rowCount() const { return m_end - m_first; }
    QByteArrayView rowUtf8(qint64 index) const;
    QString row(qint64 index) const { return QString::fromUtf8(rowUtf8(index)); }

    // Rows also have serial numbers, which stay with a row while newer rows arrive and older
    // ones leave; a serial below firstSerial() names a row that has left.
    qint64 serialOf(qint64 index) const { return m_end - 1 - index; }
    qint64 indexOf(qint64 serial) const { return m_end - 1 - serial; }
    qint64 firstSerial() const { return m_first; }

    qint64 rowLimit() const { return m_limit; }
    // Clamped to MinimumRowLimit..MaximumRowLimit; returns the rows that left at once.
    qint64 setRowLimit(qint64 limit);
    // The memory the rows take: every kept block's whole allocation (text, row starts and
    // room not yet filled, rows that left alike), which the byte limit (at least
    // MinimumByteLimit) bounds after each line.
    qint64 allocatedBytes() const { return m_allocated; }
    qint64 byteLimit() const { return m_byteLimit; }

    // The first row from index `from` on, towards older rows or (backward) newer ones, that
    // contains text regardless of case; the search wraps around the log once. -1 if none.
    qint64 find(QStringView text, qint64 from, bool backward = false) const;

    // Rows first..last (indexes, first <= last), newest first, each ended by a line feed.
    qint64 utf8Size(qint64 first, qint64 last) const;
    QByteArray utf8Text(qint64 first, qint64 last) const;
    // Writes all rows as utf8Text() gives them; false if the device refused a write.
    bool write(QIODevice &device) const;

private:
    // A block holds up to RowsPerBlock rows and up to m_blockBytes bytes of text (64 MiB at
    // most, so that its 32-bit row starts cannot wrap); a longer row gets a block of its own,
    // whose one row ends where its bytes end. Only the newest block takes rows: the others are
    // full, and their allocation is cut to what they hold.
    static constexpr qint64 RowsPerBlock = 4096;
    static constexpr qsizetype MaximumBlockBytes = qsizetype(64) << 20;
    static constexpr qsizetype FirstBlockCapacity = qsizetype(64) << 10;
    struct Block {
        qint64 firstSerial = 0;
        QByteArray bytes;
        std::vector<quint32> starts; // start offset of each row in bytes
        bool full = false;
        qint64 rows() const { return qint64(starts.size()); }
        qint64 endSerial() const { return firstSerial + rows(); }
        qint64 allocated() const;
        QByteArrayView row(qint64 serial) const;
    };

    void appendRow(QStringView text);
    Block &blockWithRoomFor(qsizetype room);
    void reserveRoom(Block &block, qsizetype room);
    void fillBlock(Block &block);
    qint64 trimToLimit();
    size_t blockIndexOf(qint64 serial) const;
    size_t blockNear(size_t near, qint64 serial) const;
    template <typename Visit>
    void forEachRowNewestFirst(qint64 first, qint64 last, Visit visit) const;

    std::vector<Block> m_blocks; // oldest first
    qint64 m_first = 0;          // serial of the oldest row kept
    qint64 m_end = 0;            // serial the next row will get
    qint64 m_allocated = 0;      // the sum of the blocks' allocated()
    qint64 m_limit, m_byteLimit;
    qsizetype m_blockBytes; // text a block that holds more than one row may take
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};
