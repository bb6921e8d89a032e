#include "TcpStream.h"

#include <algorithm>

void CTcpStream::Add(const STcpSegment& segment)
{
    if (segment.syn) {
        // The SYN takes one sequence number; data it carries starts after it.
        m_sawSyn = true;
        m_firstSequence = segment.sequence + 1;
        if (segment.payload.empty())
            return;
        STcpSegment data = segment;
        data.sequence = m_firstSequence;
        m_segments.push_back(std::move(data));
        return;
    }
    if (!segment.payload.empty())
        m_segments.push_back(segment);
}

void CTcpStream::Assemble()
{
    m_bytes.clear();
    m_times.clear();
    m_hole = false;
    if (m_segments.empty())
        return;
    uint32_t base = m_firstSequence;
    if (!m_sawSyn) {
        // The lowest sequence number in serial-number order: the one no other segment precedes.
        base = m_segments.front().sequence;
        for (const STcpSegment& segment : m_segments) {
            if (static_cast<int32_t>(segment.sequence - base) < 0)
                base = segment.sequence;
        }
    }
    std::vector<SPiece> pieces;
    pieces.reserve(m_segments.size());
    for (const STcpSegment& segment : m_segments) {
        if (static_cast<int32_t>(segment.sequence - base) >= 0)
            pieces.push_back({segment.sequence - base, segment.time, &segment.payload});
    }
    // Sequence order; of two copies of the same bytes the first captured counts.
    std::stable_sort(pieces.begin(), pieces.end(),
                     [](const SPiece& a, const SPiece& b) { return a.sequence < b.sequence; });
    for (const SPiece& piece : pieces) {
        const size_t start = piece.sequence;
        const size_t end = start + piece.bytes->size();
        if (start > m_bytes.size()) {
            m_hole = true;
            break;
        }
        if (end <= m_bytes.size())
            continue;
        m_times.emplace_back(m_bytes.size(), piece.time);
        m_bytes.insert(m_bytes.end(), piece.bytes->begin() + static_cast<long>(m_bytes.size() - start),
                       piece.bytes->end());
    }
}

double CTcpStream::TimeAt(size_t offset) const
{
    auto after = std::upper_bound(m_times.begin(), m_times.end(), std::make_pair(offset, 1e300));
    return after == m_times.begin() ? 0 : std::prev(after)->second;
}
