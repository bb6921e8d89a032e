#pragma once

#include "Tesk/Core/ISubscriptionCancellation.h"

namespace VexlaLib {
class CVexlaLib;
}

// Ends the running contact search when the "searchContacts" subscriber goes away.
class CSearchCancellation : public ISubscriptionCancellation {
public:
    // The library is not owned and outlives every subscription of the UI service.
    explicit CSearchCancellation(VexlaLib::CVexlaLib* library) : m_pLibrary(library) {}

    void OnCancelSubscription(const TBusMessageSPtr& message) override;

private:
    VexlaLib::CVexlaLib* m_pLibrary;
};
