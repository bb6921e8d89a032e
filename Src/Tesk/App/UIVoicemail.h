#pragma once

#include <string>

#include "Tesk/App/DialOutRequests.h"
#include "Tesk/Core/BusTypes.h"

class CJSONObject;
class CVexlaUIService;

// "listenToVoicemail" of com.vexla.ui: asks the library for the number of a voicemail, by its handle or
// its id, and calls it on the phone. One request at a time, held until the number owner answers.
// Main-loop thread only.
class CUIVoicemail {
public:
    // `service` outlives this object.
    explicit CUIVoicemail(CVexlaUIService& service);
    // Answers the held request as the session ending would: the daemon is going.
    ~CUIVoicemail();

    CUIVoicemail(const CUIVoicemail&) = delete;
    CUIVoicemail& operator=(const CUIVoicemail&) = delete;

    void ListenToVoicemail(const TBusMessageSPtr& message);

private:
    // The number owner's answer to the held request.
    void OnNumber(const CDialOutRequests::TAnswer& answer);
    // Answers the held request and forgets it.
    void Answer(const CJSONObject& reply);
    void OnCallerGone();
    // Gives up the held request's turn with the number owner.
    void WithdrawTicket();
    // The voicemail whose id is `target`, or 0; voicemails without a server timestamp have no id.
    int FindHandle(const std::wstring& target) const;

    CVexlaUIService& m_service;
    TBusMessageSPtr m_pending;
    // The held request's turn with the number owner; 0 when it has none.
    int m_ticket = 0;
};
