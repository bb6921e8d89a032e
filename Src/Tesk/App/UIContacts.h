#pragma once

#include "Tesk/App/ContactSearches.h"
#include "Tesk/Core/BusTypes.h"

namespace VexlaLib {
class CSearch;
}
class CVexlaUIService;

// The contact methods of com.vexla.ui for a signed-in session: "searchContacts" as a subscription,
// "extendContactSearch", "addContact" and "sendAuthRequest". Main-loop thread only.
class CUIContacts {
public:
    // `service` outlives this object.
    explicit CUIContacts(CVexlaUIService& service);

    CUIContacts(const CUIContacts&) = delete;
    CUIContacts& operator=(const CUIContacts&) = delete;

    // The bus methods.
    void SearchContacts(const TBusMessageSPtr& message);
    void ExtendContactSearch(const TBusMessageSPtr& message);
    void AddContact(const TBusMessageSPtr& message);
    void SendAuthRequest(const TBusMessageSPtr& message);

    // The library's search outcomes, for the running search's subscriber.
    void OnSearchFinished(const VexlaLib::CSearch& search, bool extendable);
    void OnSearchFailed();

private:
    CVexlaUIService& m_service;
    CContactSearches m_searches;
};
