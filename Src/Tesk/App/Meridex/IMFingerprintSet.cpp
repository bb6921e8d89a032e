#include "Tesk/App/Meridex/IMFingerprintSet.h"

#include <algorithm>

bool CIMFingerprintSet::Contains(const TFingerprint& fingerprint) const
{
    return std::binary_search(m_sorted.begin(), m_sorted.end(), fingerprint) ||
           std::find(m_recent.begin(), m_recent.end(), fingerprint) != m_recent.end();
}

bool CIMFingerprintSet::Insert(const TFingerprint& fingerprint)
{
    if (Contains(fingerprint))
        return false;
    m_recent.push_back(fingerprint);
    if (m_recent.size() >= RECENT_LIMIT)
        Merge();
    return true;
}

void CIMFingerprintSet::Compact()
{
    Merge();
    m_sorted.shrink_to_fit();
    std::vector<TFingerprint>().swap(m_recent);
}

void CIMFingerprintSet::Merge()
{
    std::sort(m_recent.begin(), m_recent.end());
    size_t old = m_sorted.size();
    size_t added = m_recent.size();
    m_sorted.resize(old + added);
    // Fills the array from its end with the larger of the two remaining heads.
    for (size_t to = old + added; added > 0;) {
        if (old > 0 && m_sorted[old - 1] > m_recent[added - 1])
            m_sorted[--to] = m_sorted[--old];
        else
            m_sorted[--to] = m_recent[--added];
    }
    m_recent.clear();
}
