#include "Tesk/App/Meridex/BalanceQueries.h"

#include "Public/VexlaLib.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LogStream.h"

namespace {

CJSONObject Failure(const char* code, const char* text)
{
    CJSONObject reply;
    reply.SetString("errorCode", code);
    reply.SetString("errorText", text);
    reply.SetBool("returnValue", false);
    return reply;
}

}  // namespace

CBalanceQueries::~CBalanceQueries()
{
    OnGetBalanceFailed();
}

CBalanceQueries::TQueryResult CBalanceQueries::Query(const TBusMessageSPtr& message, VexlaLib::CVexlaLib* library)
{
    if (library == nullptr || !library->IsLoggedIn()) {
        const CJSONObject reply = Failure("ERROR_NOT_LOGGED_IN", "not logged in");
        m_pService->SendReply(message, &reply);
        return QUERY_NOT_LOGGED_IN;
    }
    m_pending.push_back(message);
    if (m_pending.size() > 1)
        return QUERY_HELD;
    if (!library->RequestCreditBalance()) {
        VexlaLib::LogWarning() << "The library refused the balance request." << std::endl;
        OnGetBalanceFailed();
        return QUERY_ANSWERED;
    }
    return QUERY_HELD;
}

void CBalanceQueries::OnGetBalanceSuccess(const std::wstring& currency, int amount)
{
    CJSONObject reply;
    reply.SetReal("balance", amount / 100.0);
    reply.SetString("currency", currency);
    reply.SetBool("returnValue", true);
    AnswerAll(reply);
}

void CBalanceQueries::OnGetBalanceFailed()
{
    AnswerAll(Failure("ERROR_BALANCE_FAILED", "unable to retrieve balance"));
}

void CBalanceQueries::AnswerAll(const CJSONObject& reply)
{
    // Taken out first: an answer may come back into this object.
    std::vector<TBusMessageSPtr> pending;
    pending.swap(m_pending);
    for (const TBusMessageSPtr& message : pending)
        m_pService->SendReply(message, &reply);
}
