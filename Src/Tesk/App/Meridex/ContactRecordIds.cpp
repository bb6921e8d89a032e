#include "Tesk/App/Meridex/ContactRecordIds.h"

void CContactRecordIds::Load(const std::vector<CJSONObject>& records)
{
    m_ids.clear();
    for (const CJSONObject& record : records) {
        std::wstring id;
        std::wstring name;
        if (!record.GetString("_id", &id))
            continue;
        record.GetString(m_nameMember, &name);
        Add(name, id);
    }
}

void CContactRecordIds::Add(const std::wstring& name, const std::wstring& id)
{
    m_ids[name].push_back(id);
}

void CContactRecordIds::Erase(const std::wstring& name)
{
    m_ids.erase(name);
}

size_t CContactRecordIds::Count(const std::wstring& name) const
{
    auto found = m_ids.find(name);
    return found == m_ids.end() ? 0 : found->second.size();
}

std::wstring CContactRecordIds::First(const std::wstring& name) const
{
    auto found = m_ids.find(name);
    return found == m_ids.end() ? std::wstring() : found->second.front();
}

std::vector<std::wstring> CContactRecordIds::TakeAllBut(const std::function<bool(const std::wstring& name)>& keep)
{
    std::vector<std::wstring> taken;
    for (auto it = m_ids.begin(); it != m_ids.end();) {
        if (keep(it->first)) {
            ++it;
            continue;
        }
        taken.insert(taken.end(), it->second.begin(), it->second.end());
        it = m_ids.erase(it);
    }
    return taken;
}
