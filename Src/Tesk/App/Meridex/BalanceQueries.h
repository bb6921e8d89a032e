#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/BusTypes.h"

namespace VexlaLib {
class CVexlaLib;
}
class CJSONObject;
class CTeskService;

// The "balanceQuery" requests one bus service holds for the library's credit answer. Every query is
// answered exactly once: queries that arrive while one is held share its answer, a request the library
// refuses is answered with the failure at once, and a new session answers the held ones with the
// failure instead of dropping them.
class CBalanceQueries {
public:
    // Answers go out through `service` (not owned).
    explicit CBalanceQueries(CTeskService* service) : m_pService(service) {}
    // Answers whatever is still held with the failure.
    ~CBalanceQueries();

    CBalanceQueries(const CBalanceQueries&) = delete;
    CBalanceQueries& operator=(const CBalanceQueries&) = delete;

    enum TQueryResult { QUERY_HELD, QUERY_ANSWERED, QUERY_NOT_LOGGED_IN };
    // Signed out: answers "ERROR_NOT_LOGGED_IN" and returns QUERY_NOT_LOGGED_IN (the caller then ends
    // the daemon). Otherwise holds the message and asks the library unless a request is already out.
    TQueryResult Query(const TBusMessageSPtr& message, VexlaLib::CVexlaLib* library);

    // The library's answers: {"balance": amount / 100, "currency", "returnValue": true}, or the
    // "ERROR_BALANCE_FAILED" object, to every held query.
    void OnGetBalanceSuccess(const std::wstring& currency, int amount);
    void OnGetBalanceFailed();
    // A new session ends any request the library had out.
    void OnNewSession() { OnGetBalanceFailed(); }

    bool IsPending() const { return !m_pending.empty(); }

private:
    void AnswerAll(const CJSONObject& reply);

    CTeskService* m_pService;
    std::vector<TBusMessageSPtr> m_pending;
};
