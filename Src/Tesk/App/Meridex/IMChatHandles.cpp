#include "Tesk/App/Meridex/IMChatHandles.h"

int CIMChatHandles::Find(const std::wstring& name) const
{
    const auto known = m_byName.find(name);
    return known != m_byName.end() ? known->second : 0;
}

void CIMChatHandles::Replace(int gone, int survivor)
{
    for (auto& entry : m_byName) {
        if (entry.second == gone)
            entry.second = survivor;
    }
    if (m_bound.erase(gone) != 0)
        m_bound.insert(survivor);
}

void CIMChatHandles::Clear(bool bindingsToo)
{
    m_byName.clear();
    if (bindingsToo)
        m_bound.clear();
}
