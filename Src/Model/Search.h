#pragma once

#include "Model/SearchResult.h"

#include <memory>
#include <string>
#include <vector>

namespace VexlaLib {

// The one contact search that may be running, with the results received so far.
class CSearch
{
public:
    // Search status as the server reports it (KEY_SEARCHSTATUS).
    enum eSearchStatus
    {
        SEARCH_STARTED = 0,
        SEARCH_EXTENDABLE = 3,
        SEARCH_FINISHED = 4,
        SEARCH_FAILED = 5
    };

    explicit CSearch(const std::wstring& searchString);
    virtual ~CSearch() = default;

    CSearch(const CSearch&) = delete;
    CSearch& operator=(const CSearch&) = delete;

    const std::wstring& GetSearchString() const { return m_searchString; }
    int GetSearchId() const { return m_searchId; }
    void SetSearchId(int searchId) { m_searchId = searchId; }
    // The server assigns the id with the first results; 0 until then.
    bool HasSearchId() const { return m_searchId != 0; }

    int GetStatus() const { return m_status; }
    void SetStatus(int status) { m_status = status; }
    bool IsExtendable() const { return m_status == SEARCH_EXTENDABLE; }
    bool IsFinished() const { return m_status == SEARCH_FINISHED; }

    CSearchResult* CreateResult(const std::wstring& vexlaName, const std::wstring& fullName,
                                const std::wstring& country);
    size_t GetResultCount() const { return m_results.size(); }
    const CSearchResult* GetResult(size_t i) const;
    const std::vector<std::unique_ptr<CSearchResult>>& GetResults() const { return m_results; }

private:
    std::wstring m_searchString;
    int m_searchId = 0;
    int m_status = SEARCH_STARTED;
    std::vector<std::unique_ptr<CSearchResult>> m_results;
};

}  // namespace VexlaLib
