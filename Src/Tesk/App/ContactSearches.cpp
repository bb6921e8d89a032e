#include "Tesk/App/ContactSearches.h"

#include "Public/VexlaLib.h"
#include "Tesk/App/SearchCancellation.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LogStream.h"

CContactSearches::~CContactSearches()
{
    EndSubscription();
}

CJSONObject CContactSearches::Outcome(bool extendable)
{
    CJSONObject reply;
    reply.SetBool("extendedSearchPossible", extendable);
    reply.SetBool("searchFinished", true);
    return reply;
}

void CContactSearches::Start(const TBusMessageSPtr& message, const std::wstring& text)
{
    // The library ends the previous search with this one: so does its subscription.
    EndSubscription();
    m_subscriber = message;
    m_pService->AddSubscriptionCancellationHandler(message, std::make_shared<CSearchCancellation>(this));
    const bool started = m_pLibrary->SearchContacts(text);
    m_pService->SendSuccessResponse(message);
    if (!started) {
        // Nothing will report on this search: the subscriber hears at once that it is over.
        VexlaLib::LogWarning() << "CVexlaUIService::SearchContacts the library refused the search" << std::endl;
        EndSubscription();
    }
}

void CContactSearches::Report(const CJSONObject& outcome)
{
    if (m_subscriber)
        m_pService->SendReply(m_subscriber, &outcome);
}

void CContactSearches::OnSubscriberGone(const TBusMessageSPtr& message)
{
    if (message != m_subscriber)
        return;  // superseded already: the search running is another caller's
    m_subscriber.reset();
    m_pLibrary->EndContactSearch();
}

void CContactSearches::EndSubscription()
{
    if (!m_subscriber)
        return;
    const TBusMessageSPtr subscriber = std::move(m_subscriber);
    m_subscriber.reset();
    m_pService->StopWatchingCaller(subscriber);
    const CJSONObject outcome = Outcome(false);
    m_pService->SendReply(subscriber, &outcome);
}
