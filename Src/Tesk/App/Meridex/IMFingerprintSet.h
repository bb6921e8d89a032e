#pragma once

#include <cstddef>
#include <vector>

#include "Tesk/App/Meridex/IMMessageRecord.h"

// A set of message fingerprints in little memory: a sorted array and a short unsorted tail of the
// latest insertions, merged into the array whenever the tail is full. A burst that fills one server
// time and sender with thousands of messages costs 20 bytes a message instead of a tree node's 64.
class CIMFingerprintSet
{
public:
    typedef CIMMessageRecord::TFingerprint TFingerprint;

    bool Contains(const TFingerprint& fingerprint) const;
    // False when the fingerprint is there already.
    bool Insert(const TFingerprint& fingerprint);
    size_t Size() const { return m_sorted.size() + m_recent.size(); }
    // Gives the capacity that growing left spare back to the allocator.
    void Compact();

private:
    static const size_t RECENT_LIMIT = 64;

    // Sorts the tail into the array, in place from the back, without a buffer of the array's size.
    void Merge();

    std::vector<TFingerprint> m_sorted;
    std::vector<TFingerprint> m_recent;  // unsorted, fewer than RECENT_LIMIT
};
