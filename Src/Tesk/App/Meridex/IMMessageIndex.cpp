#include "Tesk/App/Meridex/IMMessageIndex.h"

CIMMessageIndex::CIMMessageIndex(size_t maxKeys, size_t maxFingerprints)
    : m_maxKeys(maxKeys), m_maxFingerprints(maxFingerprints)
{}

bool CIMMessageIndex::Knows(const CIMMessageRecord& record)
{
    auto entry = m_keys.find(KeyOf(record));
    if (entry == m_keys.end())
        return false;
    Touch(&entry->second);
    return true;
}

void CIMMessageIndex::Learn(const CIMMessageRecord& record, const std::vector<CJSONObject>& stored)
{
    Forget(record);
    const TKey key = KeyOf(record);
    m_uses.push_front(key);
    SEntry& entry = m_keys[key];
    entry.use = m_uses.begin();
    for (const CJSONObject& one : stored) {
        CIMMessageRecord::TFingerprint fingerprint;
        if (CIMMessageRecord::FingerprintOf(one, &fingerprint) && entry.fingerprints.Insert(fingerprint))
            ++m_fingerprintCount;
    }
    Trim();
}

bool CIMMessageIndex::Holds(const CIMMessageRecord& record) const
{
    auto entry = m_keys.find(KeyOf(record));
    return entry != m_keys.end() && entry->second.fingerprints.Contains(record.Fingerprint());
}

void CIMMessageIndex::Add(const CIMMessageRecord& record)
{
    auto entry = m_keys.find(KeyOf(record));
    if (entry == m_keys.end())
        return;
    Touch(&entry->second);
    if (entry->second.fingerprints.Insert(record.Fingerprint()))
        ++m_fingerprintCount;
    Trim();
}

void CIMMessageIndex::Forget(const CIMMessageRecord& record)
{
    auto entry = m_keys.find(KeyOf(record));
    if (entry != m_keys.end())
        Erase(entry);
}

void CIMMessageIndex::Clear()
{
    m_keys.clear();
    m_uses.clear();
    m_fingerprintCount = 0;
}

void CIMMessageIndex::Compact()
{
    for (auto& entry : m_keys)
        entry.second.fingerprints.Compact();
}

void CIMMessageIndex::Touch(SEntry* entry)
{
    m_uses.splice(m_uses.begin(), m_uses, entry->use);
}

void CIMMessageIndex::Erase(std::map<TKey, SEntry>::iterator entry)
{
    m_fingerprintCount -= entry->second.fingerprints.Size();
    m_uses.erase(entry->second.use);
    m_keys.erase(entry);
}

void CIMMessageIndex::Trim()
{
    while (m_uses.size() > 1 && (m_keys.size() > m_maxKeys || m_fingerprintCount > m_maxFingerprints))
        Erase(m_keys.find(m_uses.back()));
}
