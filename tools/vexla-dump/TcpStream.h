#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "TcpSegment.h"

// One direction of a TCP connection put back together from its captured segments: in sequence
// order whatever order they were captured in, retransmitted bytes once. The bytes run from the start
// of the connection (or, when the capture missed the SYN, from the lowest sequence number seen) up to
// the first hole in the capture.
class CTcpStream {
public:
    void Add(const STcpSegment& segment);

    // Puts the segments added so far together; Bytes() and the rest describe the result.
    void Assemble();
    const VexlaLib::TByteArray& Bytes() const { return m_bytes; }
    // When the byte at `offset` was captured (the capture time of the segment that brought it).
    double TimeAt(size_t offset) const;
    // True when captured bytes follow a hole, so that Bytes() ends before the stream did.
    bool HasHole() const { return m_hole; }

private:
    struct SPiece {
        uint32_t sequence;
        double time;
        const VexlaLib::TByteArray* bytes;
    };

    bool m_sawSyn = false;
    uint32_t m_firstSequence = 0;  // of the first data byte, when m_sawSyn
    std::vector<STcpSegment> m_segments;
    VexlaLib::TByteArray m_bytes;
    std::vector<std::pair<size_t, double>> m_times;  // (offset where a segment's bytes start, its time)
    bool m_hole = false;
};
