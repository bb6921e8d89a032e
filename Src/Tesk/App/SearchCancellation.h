#pragma once

#include "Tesk/Core/ISubscriptionCancellation.h"

class CContactSearches;

// Tells the contact searches that a "searchContacts" subscriber went away, which ends the library's
// search when it is still that subscriber's.
class CSearchCancellation : public ISubscriptionCancellation {
public:
    // The searches are not owned and outlive every subscription of the UI service.
    explicit CSearchCancellation(CContactSearches* searches) : m_pSearches(searches) {}

    void OnCancelSubscription(const TBusMessageSPtr& message) override;

private:
    CContactSearches* m_pSearches;
};
