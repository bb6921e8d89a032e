#include "Model/Search.h"

namespace VexlaLib {

CSearch::CSearch(const std::wstring& searchString)
    : m_searchString(searchString)
{
}

CSearchResult* CSearch::CreateResult(const std::wstring& vexlaName, const std::wstring& fullName,
                                     const std::wstring& country)
{
    m_results.push_back(std::make_unique<CSearchResult>(vexlaName, fullName, country));
    return m_results.back().get();
}

const CSearchResult* CSearch::GetResult(size_t i) const
{
    return i < m_results.size() ? m_results[i].get() : nullptr;
}

}  // namespace VexlaLib
