#include "Directives.h"

namespace ServerSim {

void CDirectives::Add(const SDirective& directive)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_directives.push_back(directive);
}

bool CDirectives::Take(const std::string& stage, SDirective& directive)
{
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto it = m_directives.begin(); it != m_directives.end(); ++it) {
        if (it->stage == stage) {
            directive = *it;
            if (--it->count <= 0) {
                m_directives.erase(it);
            }
            return true;
        }
    }
    return false;
}

void CDirectives::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_directives.clear();
}

size_t CDirectives::Pending() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_directives.size();
}

}  // namespace ServerSim
