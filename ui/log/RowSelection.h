// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>
#include <algorithm>
#include <iterator>
#include <vector>

// The selected rows of the traffic log as sorted, disjoint, inclusive ranges of row serials,
// so that a selection of millions of rows is one range and stays put while rows arrive.
class RowSelection
{
public:
    struct Range {
        qint64 first, last;
    };

    bool isEmpty() const { return m_ranges.empty(); }
    const std::vector<Range> &ranges() const { return m_ranges; }
    void clear() { m_ranges.clear(); }
    void set(qint64 a, qint64 b) { m_ranges = {{std::min(a, b), std::max(a, b)}}; }

    bool contains(qint64 serial) const
    {
        const auto after = rangeAfter(serial);
        return after != m_ranges.begin() && std::prev(after)->last >= serial;
    }

    // Selects the row if it was not selected, and unselects it if it was.
    void toggle(qint64 serial)
    {
        auto after = rangeAfter(serial);
        if (after != m_ranges.begin() && std::prev(after)->last >= serial) {
            const Range range = *std::prev(after);
            after = m_ranges.erase(std::prev(after));
            if (serial < range.last)
                after = m_ranges.insert(after, {serial + 1, range.last});
            if (range.first < serial)
                m_ranges.insert(after, {range.first, serial - 1});
            return;
        }
        after = m_ranges.insert(after, {serial, serial});
        mergeAround(after);
    }

    // Forgets rows whose serial is below first: they have left the log.
    void dropBelow(qint64 first)
    {
        std::erase_if(m_ranges, [first](const Range &r) { return r.last < first; });
        if (!m_ranges.empty())
            m_ranges.front().first = std::max(m_ranges.front().first, first);
    }

private:
    std::vector<Range>::iterator rangeAfter(qint64 serial)
    {
        return std::upper_bound(m_ranges.begin(), m_ranges.end(), serial,
                                [](qint64 s, const Range &r) { return s < r.first; });
    }
    std::vector<Range>::const_iterator rangeAfter(qint64 serial) const
    {
        return std::upper_bound(m_ranges.begin(), m_ranges.end(), serial,
                                [](qint64 s, const Range &r) { return s < r.first; });
    }

    // Joins the single-row range at `at` with the neighbours it touches.
    void mergeAround(std::vector<Range>::iterator at)
    {
        if (std::next(at) != m_ranges.end() && std::next(at)->first == at->last + 1) {
            at->last = std::next(at)->last;
            m_ranges.erase(std::next(at));
        }
        if (at != m_ranges.begin() && std::prev(at)->last + 1 == at->first) {
            std::prev(at)->last = at->last;
            m_ranges.erase(at);
        }
    }

    std::vector<Range> m_ranges;
};
