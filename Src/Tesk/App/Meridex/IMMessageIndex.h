#pragma once

#include <cstddef>
#include <list>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "Tesk/App/Meridex/IMFingerprintSet.h"
#include "Tesk/App/Meridex/IMMessageRecord.h"

// What the message database is known to hold, by the key the duplicate check asks it for: a record's
// server time and sender. A key is known once the database was asked for it; from then on its
// records' fingerprints are kept, and those written here are added. Bounded: the keys least recently
// used are forgotten first once there are more keys or fingerprints than allowed (the key in use stays
// however many fingerprints it has), and a forgotten key is simply asked for again. Main-loop thread
// only.
class CIMMessageIndex
{
public:
    static const size_t DEFAULT_MAX_KEYS = 256;
    static const size_t DEFAULT_MAX_FINGERPRINTS = 4096;

    explicit CIMMessageIndex(size_t maxKeys = DEFAULT_MAX_KEYS, size_t maxFingerprints = DEFAULT_MAX_FINGERPRINTS);

    CIMMessageIndex(const CIMMessageIndex&) = delete;
    CIMMessageIndex& operator=(const CIMMessageIndex&) = delete;

    // Whether the key of `record` is known; a known key becomes the most recently used.
    bool Knows(const CIMMessageRecord& record);
    // The key of `record` as the database answered for it: the stored records it holds.
    void Learn(const CIMMessageRecord& record, const std::vector<CJSONObject>& stored);
    // Whether `record` is among the known records of its key (false when the key is not known).
    bool Holds(const CIMMessageRecord& record) const;
    // `record` is being written: held from now on, when its key is known.
    void Add(const CIMMessageRecord& record);
    // The key of `record` is asked for again next time.
    void Forget(const CIMMessageRecord& record);
    void Clear();
    // Gives the spare room of the kept fingerprints back, once a burst that grew them is written.
    void Compact();

    size_t KeyCount() const { return m_keys.size(); }

private:
    using TKey = std::pair<long long, std::wstring>;
    struct SEntry
    {
        CIMFingerprintSet fingerprints;
        std::list<TKey>::iterator use;  // its place in m_uses
    };

    static TKey KeyOf(const CIMMessageRecord& record) { return TKey(record.serverTime, record.from); }
    void Touch(SEntry* entry);
    void Erase(std::map<TKey, SEntry>::iterator entry);
    // Forgets the least recently used keys, never the most recent one, until both bounds hold.
    void Trim();

    const size_t m_maxKeys;
    const size_t m_maxFingerprints;
    std::map<TKey, SEntry> m_keys;
    std::list<TKey> m_uses;  // most recently used first
    size_t m_fingerprintCount = 0;
};
