#pragma once

#include <string>

#include "Tesk/Core/BusTypes.h"

namespace VexlaLib {
class CVexlaLib;
}
class CJSONObject;
class CTeskService;

// The "searchContacts" subscriptions of the UI service. The library runs one contact search and a new
// one ends the old, so the subscription of the search the library runs is the only one that hears
// results; a new search ends the previous caller's subscription with the final answer of a search, and
// a subscriber going away ends the library's search only when it is still the one running.
// Main-loop thread only.
class CContactSearches {
public:
    // Neither is owned; both outlive this object.
    CContactSearches(CTeskService* service, VexlaLib::CVexlaLib* library) : m_pService(service), m_pLibrary(library) {}
    // Ends the running subscription with the final answer.
    ~CContactSearches();

    CContactSearches(const CContactSearches&) = delete;
    CContactSearches& operator=(const CContactSearches&) = delete;

    // Makes `message` the subscription of a new search for `text` and answers it {"returnValue": true};
    // a search the library refuses is reported finished at once.
    void Start(const TBusMessageSPtr& message, const std::wstring& text);
    // Sends an outcome of the running search to its subscriber only.
    void Report(const CJSONObject& outcome);
    // The subscriber of `message` cancelled or left the bus.
    void OnSubscriberGone(const TBusMessageSPtr& message);

    // {"extendedSearchPossible", "searchFinished": true}: the end of a search, without results.
    static CJSONObject Outcome(bool extendable);

private:
    // Sends the final answer to the current subscriber and forgets it.
    void EndSubscription();

    CTeskService* m_pService;
    VexlaLib::CVexlaLib* m_pLibrary;
    TBusMessageSPtr m_subscriber;
};
