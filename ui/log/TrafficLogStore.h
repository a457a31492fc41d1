// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringEncoder>
#include <deque>
#include <vector>

class QIODevice;

// The traffic log's rows, each kept once as UTF-8 in large blocks with one end offset per row
// (no object per row), so a log of millions of rows stays small. A logged line becomes one row,
// or several when it holds CR LF, CR or LF. Rows are indexed as the log shows them: index 0
// is the first row of the newest line, and the rows of one line follow each other in order.
// Past the row limit, or past the byte limit that bounds memory whatever the rows hold, the
// oldest rows leave in one batch, and addLine() says how many left.
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
    // The UTF-8 bytes of the rows kept, and their limit (at least MinimumByteLimit).
    qint64 byteCount() const { return m_bytes; }
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
    static constexpr qint64 RowsPerBlock = 4096;
    struct Block {
        QByteArray bytes;
        std::vector<quint32> ends; // end offset of each row in bytes
    };

    void appendRow(QStringView text);
    qint64 trimToLimit();
    template <typename Visit>
    void forEachRowNewestFirst(qint64 first, qint64 last, Visit visit) const;

    std::deque<Block> m_blocks;
    qint64 m_blockBase = 0; // serial of the first row of m_blocks.front()
    qint64 m_first = 0;     // serial of the oldest row kept
    qint64 m_end = 0;       // serial the next row will get
    qint64 m_bytes = 0;     // UTF-8 bytes of the rows kept
    qint64 m_limit, m_byteLimit;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringEncoder::Flag::Stateless};
};
