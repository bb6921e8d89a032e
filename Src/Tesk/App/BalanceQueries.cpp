#include "Tesk/App/BalanceQueries.h"

#include "Model/ContactList.h"
#include "Public/VexlaLib.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"
#include "Utils/Timer.h"
#include "Utils/Utils.h"

namespace {

CJSONObject Failure(const char* code, const char* text)
{
    CJSONObject reply;
    reply.SetString("errorCode", code);
    reply.SetString("errorText", text);
    reply.SetBool("returnValue", false);
    return reply;
}

void Reply(const TBusMessageSPtr& message, const CJSONObject& reply)
{
    std::string text;
    reply.ToString(&text);
    std::string error;
    if (!message->Respond(text, &error))
        VexlaLib::LogError() << "Bus error: " << VexlaLib::CUtils::ConvertCharToWide(error) << std::endl;
}

}  // namespace

CBalanceQueries::CBalanceQueries(VexlaLib::CVexlaLib* library) : m_pLibrary(library)
{
    m_pLibrary->AddListener(this);
}

CBalanceQueries::~CBalanceQueries()
{
    m_pLibrary->RemoveListener(this);
    Fail();
}

bool CBalanceQueries::IsListComplete() const
{
    const VexlaLib::CContactList* list = m_pLibrary->GetModel().GetContactList();
    return list != nullptr && list->IsComplete();
}

CBalanceQueries::TQueryResult CBalanceQueries::Query(const TBusMessageSPtr& message)
{
    if (!m_pLibrary->IsLoggedIn()) {
        Reply(message, Failure("ERROR_NOT_LOGGED_IN", "not logged in"));
        return QUERY_NOT_LOGGED_IN;
    }
    m_pending.push_back(message);
    VexlaLib::LogInfo() << "CBalanceQueries: " << m_pending.size() << " waiting for the balance" << std::endl;
    if (m_requested || m_waitingForList)
        return QUERY_HELD;
    Ask();
    return m_pending.empty() ? QUERY_ANSWERED : QUERY_HELD;
}

void CBalanceQueries::Ask()
{
    m_waitingForList = false;
    if (m_pLibrary->RequestCreditBalance()) {
        m_requested = true;
        return;
    }
    if (m_pLibrary->IsLoggedIn() && !IsListComplete()) {
        m_waitingForList = true;
        m_listWaitedMs = 0;
        if (m_pListTimer == nullptr)
            m_pListTimer = m_pLibrary->CreateTimer(this);
        m_pListTimer->StartTimer(LIST_POLL_MS, 0);
        return;
    }
    VexlaLib::LogWarning() << "The library refused the balance request." << std::endl;
    Fail();
}

void CBalanceQueries::OnContactListUpdated()
{
    if (m_waitingForList && IsListComplete())
        Ask();
}

void CBalanceQueries::OnTimer(int /*id*/)
{
    if (!m_waitingForList)
        return;
    m_listWaitedMs += LIST_POLL_MS;
    if (IsListComplete()) {
        Ask();
    } else if (m_listWaitedMs >= LIST_WAIT_MS) {
        VexlaLib::LogWarning() << "CBalanceQueries: no complete buddy list to ask the balance with." << std::endl;
        Fail();
    } else {
        m_pListTimer->StartTimer(LIST_POLL_MS, 0);
    }
}

void CBalanceQueries::OnGetBalanceSuccess(const std::wstring& currency, int amount)
{
    CJSONObject reply;
    reply.SetReal("balance", amount / 100.0);
    reply.SetString("currency", currency);
    reply.SetBool("returnValue", true);
    AnswerAll(reply);
}

void CBalanceQueries::OnGetBalanceFailed(bool /*timedOut*/)
{
    Fail();
}

// The library forgets a running request with its session.
void CBalanceQueries::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    Fail();
}

// A replaced server session (not a login, which starts from nothing) forgets the running request.
void CBalanceQueries::OnNewSession(bool resumed)
{
    if (!resumed)
        Fail();
}

void CBalanceQueries::Fail()
{
    AnswerAll(Failure("ERROR_BALANCE_FAILED", "unable to retrieve balance"));
}

void CBalanceQueries::AnswerAll(const CJSONObject& reply)
{
    m_requested = false;
    m_waitingForList = false;
    if (m_pListTimer != nullptr)
        m_pListTimer->StopTimer();
    // Taken out first: an answer may come back into this object.
    std::vector<TBusMessageSPtr> pending;
    pending.swap(m_pending);
    for (const TBusMessageSPtr& message : pending)
        Reply(message, reply);
}
