#pragma once

#include <map>

#include "Tesk/App/ProfileRequests.h"
#include "Tesk/Core/BusTypes.h"

namespace VexlaLib {
class CProfile;
}
class CVexlaUIService;

// "getPrivacyPolicies" and "setPrivacyPolicies" of com.vexla.ui: who may chat with and call the user.
// A change is held until its save, made in turn with every other profile change, has an outcome.
// Main-loop thread only.
class CUIPrivacy {
public:
    // `service` outlives this object.
    explicit CUIPrivacy(CVexlaUIService& service);
    // Answers the held changes as the session ending would: the daemon is going.
    ~CUIPrivacy();

    CUIPrivacy(const CUIPrivacy&) = delete;
    CUIPrivacy& operator=(const CUIPrivacy&) = delete;

    void GetPrivacyPolicies(const TBusMessageSPtr& message);
    void SetPrivacyPolicies(const TBusMessageSPtr& message);

private:
    // Answers a change with the outcome of its save.
    void Answer(const TBusMessageSPtr& message, CProfileRequests::TOutcome outcome);
    // The profile; null after answering the numeric error (1 not signed in, 2 no profile yet).
    const VexlaLib::CProfile* Profile(const TBusMessageSPtr& message);

    CVexlaUIService& m_service;
    // The changes waiting for their save, by their ticket with the profile owner.
    std::map<int, TBusMessageSPtr> m_pending;
};
